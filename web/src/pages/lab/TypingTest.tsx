import { useEffect, useLayoutEffect, useState } from "react";
import { Banner } from "../../components/ui/Banner";
import { Button } from "../../components/ui/Button";
import type { ModeName } from "../../lib/types";
import { cn } from "../../lib/utils";
import { DEFAULT_KEYS, type KeySet } from "../../typing/keys";
import { bestRecord, pageStorage, readHistory, saveRecord, type HistoryRecord } from "./history";
import { ResultScreen, type RunResult } from "./ResultScreen";
import { RunScreen } from "./RunScreen";
import type { Scores } from "./run";
import { SelectScreen } from "./SelectScreen";
import { pickRunText, type Duration } from "./sentences";

export type LabPhase = "select" | "run" | "result";

export interface PhaseInfo {
  phase: LabPhase;
  duration: Duration;
  /** The last run was ended by the user. */
  early: boolean;
}

interface TypingTestProps {
  mode: ModeName;
  /** Run the in-page typing engine on the keys typed (on by default). */
  useEngine?: boolean;
  /** The keys the engine types with; the default set when absent. */
  keys?: KeySet;
  /** Why the exercise cannot be used now; it is then dimmed and takes no input. */
  disabledReason?: string | null;
  /** The notice's button "Yoqish"; none when absent. */
  onEnable?: () => void;
  /** Leave the exercise ("Tugatish"). */
  onExit: () => void;
  onPhaseChange?: (info: PhaseInfo) => void;
}

/** The typing exercise: choose a duration, type for it, see and keep the result. */
export function TypingTest({
  mode,
  useEngine = true,
  keys = DEFAULT_KEYS,
  disabledReason,
  onEnable,
  onExit,
  onPhaseChange,
}: TypingTestProps) {
  const [phase, setPhase] = useState<LabPhase>("select");
  const [duration, setDuration] = useState<Duration>(30);
  const [history, setHistory] = useState<HistoryRecord[] | null>(null);
  const [result, setResult] = useState<RunResult | null>(null);
  const [run, setRun] = useState({ id: 0, text: "" });
  const disabled = Boolean(disabledReason);

  // Read before the first paint, so the placeholder does not flash.
  useLayoutEffect(() => {
    setHistory(readHistory(pageStorage()));
  }, []);

  const early = result?.early ?? false;
  useEffect(() => {
    onPhaseChange?.({ phase, duration, early });
  }, [phase, duration, early, onPhaseChange]);

  const start = (d: Duration) => {
    setDuration(d);
    setResult(null);
    setRun((r) => ({ id: r.id + 1, text: pickRunText(d) }));
    setPhase("run");
  };

  const ended = (scores: Scores | null, byUser: boolean) => {
    if (!scores) {
      setPhase("select");
      return;
    }
    const record: HistoryRecord = { ...scores, seconds: duration, date: new Date().toISOString() };
    const previousBest = bestRecord(history ?? []);
    const { list, saved } = saveRecord(pageStorage(), record);
    setHistory(list);
    setResult({ record, early: byUser, saved, previousBest });
    setPhase("result");
  };

  return (
    <div className="flex flex-col gap-4">
      {disabledReason && (
        <Banner
          tone="warning"
          action={
            onEnable && (
              <Button size="sm" onClick={onEnable}>
                Yoqish
              </Button>
            )
          }
        >
          {disabledReason}
        </Banner>
      )}
      <div
        data-testid="exercise"
        data-disabled={disabled || undefined}
        inert={disabled}
        className={cn("transition-opacity", disabled && "opacity-55 select-none")}
      >
        {phase === "run" ? (
          <RunScreen
            key={run.id}
            text={run.text}
            duration={duration}
            mode={mode}
            keys={keys}
            useEngine={useEngine}
            disabled={disabled}
            onEnd={ended}
            onRestart={() => start(duration)}
          />
        ) : phase === "result" && result ? (
          <ResultScreen
            result={result}
            duration={duration}
            disabled={disabled}
            onStart={start}
            onHome={() => setPhase("select")}
            onExit={onExit}
          />
        ) : (
          <SelectScreen
            history={history}
            duration={duration}
            disabled={disabled}
            onDuration={setDuration}
            onStart={start}
            onExit={onExit}
          />
        )}
      </div>
    </div>
  );
}
