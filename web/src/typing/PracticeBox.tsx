import type { KeyboardEvent, Ref, TextareaHTMLAttributes } from "react";
import type { ModeName } from "../lib/types";
import { cn } from "../lib/utils";
import { handleKeyDown, handleKeyUp } from "./engine";
import { DEFAULT_KEYS, type KeySet } from "./keys";

export interface PracticeBoxProps extends TextareaHTMLAttributes<HTMLTextAreaElement> {
  mode: ModeName;
  /** Run the in-page typing engine on the box's keys (on by default). */
  useEngine?: boolean;
  /** The keys to type with; the default set when absent. */
  keys?: KeySet;
  textRef?: Ref<HTMLTextAreaElement>;
}

/** A text box to try a typing mode in: the in-page engine rewrites what is typed into it. */
export function PracticeBox({
  mode,
  useEngine = true,
  keys,
  textRef,
  className,
  onKeyDown,
  onKeyUp,
  ...rest
}: PracticeBoxProps) {
  const keySet = keys ?? DEFAULT_KEYS;
  const keyDown = (event: KeyboardEvent<HTMLTextAreaElement>) => {
    onKeyDown?.(event);
    if (useEngine && !event.defaultPrevented) handleKeyDown(event, mode, keySet);
  };
  const keyUp = (event: KeyboardEvent<HTMLTextAreaElement>) => {
    onKeyUp?.(event);
    if (useEngine && !event.defaultPrevented) handleKeyUp(event, mode, keySet);
  };
  return (
    <textarea
      ref={textRef}
      spellCheck={false}
      autoCorrect="off"
      autoCapitalize="off"
      autoComplete="off"
      {...rest}
      onKeyDown={keyDown}
      onKeyUp={keyUp}
      className={cn(
        "block w-full resize-none rounded-control border border-input bg-background px-3.5 py-2.5",
        "text-body text-foreground placeholder:text-muted-foreground/70 shadow-[inset_0_1px_2px_#0e101a0a]",
        "transition-[border-color,box-shadow] outline-none",
        "hover:border-muted-foreground/40 focus-visible:border-brand focus-visible:ring-3 focus-visible:ring-brand/20 focus-visible:outline-none",
        "disabled:cursor-not-allowed disabled:opacity-60",
        className,
      )}
    />
  );
}
