import { House, RotateCcw, Timer } from "lucide-react";
import { Banner } from "../../components/ui/Banner";
import { Button } from "../../components/ui/Button";
import { Card } from "../../components/ui/Card";
import { cn } from "../../lib/utils";
import type { HistoryRecord } from "./history";
import type { Duration } from "./sentences";

export interface RunResult {
  record: HistoryRecord;
  /** Ended by the user. */
  early: boolean;
  saved: boolean;
  /** The best record before this run; null when there was none. */
  previousBest: HistoryRecord | null;
}

interface ResultScreenProps {
  result: RunResult;
  duration: Duration;
  disabled: boolean;
  onStart: (duration: Duration) => void;
  onHome: () => void;
  onExit: () => void;
}

/** After a run: its figures, the comparison with the previous best and where to go next. */
export function ResultScreen({ result, duration, disabled, onStart, onHome, onExit }: ResultScreenProps) {
  const { record, previousBest, saved } = result;
  const other: Duration = duration === 30 ? 60 : 30;
  const diff = previousBest ? record.wpm - previousBest.wpm : 0;
  return (
    <div className="flex flex-col gap-4">
      <Card className="p-6">
        <dl className="grid grid-cols-3 divide-x divide-border">
          <Figure label="TEZLIK (WPM)" value={String(record.wpm)} strong />
          <Figure label="ANIQLIK" value={`${record.accuracy}%`} />
          <Figure label="XATOLAR" value={String(record.errors)} />
        </dl>
        {previousBest && (
          <p data-testid="previous-best" className="mt-5 border-t pt-4 text-body-sm text-muted-foreground">
            Oldingi eng yaxshi: {previousBest.wpm} WPM{" "}
            <span className={cn("font-semibold", diff >= 0 ? "text-success-fg" : "text-danger-fg")}>
              ({diff >= 0 ? `+${diff}` : diff})
            </span>
          </p>
        )}
      </Card>

      {saved ? (
        <Banner tone="success" title="Natija shu brauzerda saqlandi">
          Serverga hech narsa yuborilmadi.
        </Banner>
      ) : (
        <Banner tone="warning" title="Natija saqlanmadi">
          Brauzer xotirasi yopiq yoki to‘lgan. Serverga hech narsa yuborilmadi.
        </Banner>
      )}

      <div className="flex flex-wrap items-center gap-2">
        <Button autoFocus disabled={disabled} onClick={() => onStart(duration)}>
          <RotateCcw strokeWidth={2.25} />
          Qayta boshlash
        </Button>
        <Button variant="outline" disabled={disabled} onClick={() => onStart(other)}>
          <Timer strokeWidth={2.25} />
          {other} soniyani sinash
        </Button>
        <Button variant="secondary" onClick={onHome}>
          <House strokeWidth={2.25} />
          Mashq bosh sahifasi
        </Button>
        <Button variant="ghost" className="ml-auto" onClick={onExit}>
          Tugatish
        </Button>
      </div>
    </div>
  );
}

function Figure({ label, value, strong }: { label: string; value: string; strong?: boolean }) {
  return (
    <div className="flex flex-col gap-1.5 px-6 first:pl-0 last:pr-0">
      <dt className="text-caption font-semibold tracking-wider text-muted-foreground">{label}</dt>
      <dd
        data-figure={label}
        className={cn("text-[2.75rem] leading-none font-semibold tracking-[-0.03em] tabular-nums", strong && "text-brand-ink")}
      >
        {value}
      </dd>
    </div>
  );
}
