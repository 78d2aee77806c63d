import { RotateCcw } from "lucide-react";
import { useEffect, useRef, useState, type KeyboardEvent, type SyntheticEvent } from "react";
import { Button } from "../../components/ui/Button";
import { Card } from "../../components/ui/Card";
import { KeyCap } from "../../components/ui/KeyCap";
import { Progress } from "../../components/ui/Progress";
import type { ModeName } from "../../lib/types";
import { cn } from "../../lib/utils";
import { handleKeyDown } from "../../typing/engine";
import type { KeySet } from "../../typing/keys";
import { applyInput, finishRun, isComplete, liveFigures, newRun, timeUp, type RunState, type Scores } from "./run";
import type { Duration } from "./sentences";

const TICK_MS = 100;

interface RunScreenProps {
  text: string;
  duration: Duration;
  mode: ModeName;
  keys: KeySet;
  useEngine: boolean;
  disabled: boolean;
  /** The run is over: its scores, or null when it is cancelled (nothing typed). */
  onEnd: (scores: Scores | null, early: boolean) => void;
  onRestart: () => void;
}

/** One timed run: the text to type, an invisible field over it, and the live figures. */
export function RunScreen({ text, duration, mode, keys, useEngine, disabled, onEnd, onRestart }: RunScreenProps) {
  const [run, setRun] = useState<RunState>(() => newRun(text));
  const [now, setNow] = useState(() => Date.now());
  const current = useRef(run);
  const ended = useRef(false);
  const field = useRef<HTMLTextAreaElement>(null);

  const end = (state: RunState, early: boolean) => {
    if (ended.current) return;
    ended.current = true;
    onEnd(finishRun(state, Date.now(), duration), early);
  };
  const endRef = useRef(end);
  endRef.current = end;

  useEffect(() => {
    if (!disabled) field.current?.focus();
  }, [disabled]);

  // The clock runs from the first input.
  const started = run.start !== null;
  useEffect(() => {
    if (!started) return;
    const timer = window.setInterval(() => {
      const t = Date.now();
      setNow(t);
      if (timeUp(current.current, t, duration)) endRef.current(current.current, false);
    }, TICK_MS);
    return () => window.clearInterval(timer);
  }, [started, duration]);

  const input = (value: string) => {
    if (ended.current) return;
    const t = Date.now();
    const next = applyInput(current.current, value, t);
    current.current = next;
    setRun(next);
    setNow(t);
    if (isComplete(next)) end(next, false);
  };

  const keyDown = (event: KeyboardEvent<HTMLTextAreaElement>) => {
    if (event.key === "Escape") {
      event.preventDefault();
      end(current.current, true);
      return;
    }
    if (event.key === "Enter") {
      event.preventDefault();
      return;
    }
    if (useEngine) handleKeyDown(event, mode, keys);
  };

  // Typing always goes on at the end of the text: the caret is invisible.
  const keepCaretAtEnd = (event: SyntheticEvent<HTMLTextAreaElement>) => {
    const box = event.currentTarget;
    const end = box.value.length;
    if (box.selectionStart !== end || box.selectionEnd !== end) box.setSelectionRange(end, end);
  };

  const figures = liveFigures(run, now, duration);
  return (
    <div className="flex flex-col gap-4">
      <div className="grid grid-cols-4 gap-3">
        <Figure label="VAQT" value={figures.time} strong />
        <Figure label="TEZLIK (WPM)" value={String(figures.wpm)} />
        <Figure label="ANIQLIK" value={`${figures.accuracy}%`} />
        <Card className="flex flex-col justify-between gap-3 px-5 py-4">
          <span className="text-caption font-semibold tracking-wider text-muted-foreground">JARAYON</span>
          <Progress value={figures.progress} aria-label="Vaqt o‘tishi" className="mb-2" />
        </Card>
      </div>

      <Card
        className={cn(
          "relative px-7 py-6 transition-shadow",
          "has-[textarea:focus-visible]:ring-2 has-[textarea:focus-visible]:ring-brand/35",
        )}
      >
        <p
          data-testid="run-text"
          aria-hidden
          className="font-mono text-[1.3125rem] leading-[1.9] tracking-[-0.01em] break-words whitespace-pre-wrap select-none"
        >
          {run.target.map((ch, i) => (
            <span key={i} data-state={charState(run, i)} className={CHAR_LOOK[charState(run, i)]}>
              {ch}
            </span>
          ))}
        </p>
        <textarea
          ref={field}
          aria-label="Matnni yozing"
          value={run.typed.join("")}
          disabled={disabled}
          spellCheck={false}
          autoCapitalize="off"
          autoCorrect="off"
          autoComplete="off"
          onChange={(e) => input(e.target.value)}
          onKeyDown={keyDown}
          onPaste={(e) => e.preventDefault()}
          onDrop={(e) => e.preventDefault()}
          onSelect={keepCaretAtEnd}
          className="absolute inset-0 size-full cursor-text resize-none bg-transparent text-transparent caret-transparent opacity-0 outline-none"
        />
      </Card>

      <div className="flex flex-wrap items-center justify-between gap-3">
        <p className="text-small text-muted-foreground">
          {mode === "english" && "English rejimida yangi harflar chiqmaydi. "}
          Tugatish uchun <KeyCap>Esc</KeyCap>
        </p>
        <Button variant="outline" size="sm" disabled={disabled} onClick={onRestart}>
          <RotateCcw strokeWidth={2.25} />
          Qayta boshlash
        </Button>
      </div>
    </div>
  );
}

type CharState = "ok" | "wrong" | "next" | "rest";

function charState(run: RunState, i: number): CharState {
  if (i < run.typed.length) return run.typed[i] === run.target[i] ? "ok" : "wrong";
  return i === run.typed.length ? "next" : "rest";
}

const CHAR_LOOK: Record<CharState, string> = {
  ok: "text-foreground",
  wrong: "rounded-[3px] bg-destructive/12 text-destructive",
  next: "text-brand underline decoration-2 underline-offset-[6px]",
  rest: "text-muted-foreground/75",
};

function Figure({ label, value, strong }: { label: string; value: string; strong?: boolean }) {
  return (
    <Card className="flex flex-col gap-1 px-5 py-4">
      <span className="text-caption font-semibold tracking-wider text-muted-foreground">{label}</span>
      <span
        data-figure={label}
        className={cn(
          "text-[1.75rem] leading-none font-semibold tracking-[-0.02em] tabular-nums",
          strong && "text-brand-ink",
        )}
      >
        {value}
      </span>
    </Card>
  );
}
