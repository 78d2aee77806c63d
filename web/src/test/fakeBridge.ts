import { vi } from "vitest";
import type { HarvelBridge } from "../lib/bridge";

type Handler = (payload: unknown) => void;

/**
 * An in-memory native side: records every call, answers `state_get` through
 * `answerState`, and delivers events to the page's listeners with `emit`.
 */
export function createFakeBridge() {
  const handlers = new Map<string, Set<Handler>>();
  let answerState: () => Promise<unknown> = () => new Promise(() => {});

  const invoke = vi.fn((name: string, _args: Record<string, unknown>): Promise<unknown> =>
    name === "state_get" ? answerState() : Promise.resolve(null),
  );
  const listen = vi.fn((event: string, handler: Handler) => {
    const set = handlers.get(event) ?? new Set<Handler>();
    handlers.set(event, set);
    set.add(handler);
    return () => void set.delete(handler);
  });

  const bridge: HarvelBridge = { invoke, listen };
  return {
    bridge,
    invoke,
    listen,
    /** Sets how `state_get` answers; by default it never does. */
    onStateGet(answer: () => Promise<unknown>) {
      answerState = answer;
    },
    emit(event: string, payload?: unknown) {
      for (const handler of [...(handlers.get(event) ?? [])]) handler(payload);
    },
    listenerCount(event: string) {
      return handlers.get(event)?.size ?? 0;
    },
  };
}

export type FakeBridge = ReturnType<typeof createFakeBridge>;
