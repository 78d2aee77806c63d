import { Play, Sparkles } from "lucide-react";
import { Button } from "../../components/ui/Button";
import { StatusBadge } from "../../components/ui/Badge";
import { Card } from "../../components/ui/Card";
import { Progress } from "../../components/ui/Progress";
import { Skeleton } from "../../components/ui/Skeleton";
import { Tabs, TabsList, TabsTrigger } from "../../components/ui/Tabs";
import { cn } from "../../lib/utils";
import { EXAMPLE_WORDS, LETTER_LEGEND } from "../../typing/keys";
import { bestRecord, type HistoryRecord } from "./history";
import { DURATIONS, type Duration } from "./sentences";

interface SelectScreenProps {
  /** Null while the history is not read yet. */
  history: HistoryRecord[] | null;
  duration: Duration;
  disabled: boolean;
  onDuration: (duration: Duration) => void;
  onStart: (duration: Duration) => void;
  onExit: () => void;
}

/** Before a run: the duration, the start button, the letters and the progress so far. */
export function SelectScreen({ history, duration, disabled, onDuration, onStart, onExit }: SelectScreenProps) {
  if (history === null) return <Skeleton data-testid="history-loading" className="h-72 rounded-card" />;

  const tabs = <DurationTabs duration={duration} disabled={disabled} onDuration={onDuration} />;

  if (history.length === 0) {
    return (
      <Card aria-labelledby="progress-heading" className="p-6">
        <ProgressHeading />
        <div className="mt-4 rounded-control border-2 border-dashed border-border px-6 py-8 text-center">
          <div className="mx-auto mb-3 grid size-11 place-items-center rounded-full bg-accent text-accent-foreground">
            <Sparkles aria-hidden className="size-5" strokeWidth={2} />
          </div>
          <p className="text-subheading font-semibold">Hali mashq qilinmagan</p>
          <p className="mx-auto mt-1 max-w-md text-body-sm text-muted-foreground">
            Birinchi testni tugatganingizda tezlik va aniqlik shu yerda ko‘rinadi.
          </p>
        </div>
        <div className="mt-5 flex flex-wrap items-center justify-between gap-4">
          {tabs}
          <Button size="lg" disabled={disabled} onClick={() => onStart(duration)}>
            <Play strokeWidth={2.25} />
            Birinchi mashqni boshlash
          </Button>
        </div>
      </Card>
    );
  }

  const best = bestRecord(history)!;
  const recent = history.slice(-5).reverse();
  return (
    <div className="flex flex-col gap-4">
      <div className="grid grid-cols-1 gap-4 md:grid-cols-2">
        <Card aria-labelledby="fingers-heading" className="p-6">
          <h2 id="fingers-heading" className="text-subheading font-semibold">
            Barmoq joylashuvi
          </h2>
          <div className="mt-4 flex flex-col gap-3">
            <Hand label="Chap qo‘l" keys={["A", "S", "D", "F"]} fingers={FINGERS} />
            <Hand label="O‘ng qo‘l" keys={["J", "K", "L", ";"]} fingers={[...FINGERS].reverse()} />
          </div>
          <p className="mt-4 text-small text-muted-foreground">
            Ko‘rsatkich barmoqlar F va J dagi bo‘rtiqda turadi. Tepaga qaramasdan yozishga harakat qiling.
          </p>
        </Card>

        <Card aria-labelledby="duration-heading" className="flex flex-col p-6">
          <h2 id="duration-heading" className="text-subheading font-semibold">
            Davomiyligi
          </h2>
          <div className="mt-4">{tabs}</div>
          <Button size="lg" className="mt-5 self-start" disabled={disabled} onClick={() => onStart(duration)}>
            <Play strokeWidth={2.25} />
            Boshlash
          </Button>
          <p className="mt-auto pt-4 text-small text-muted-foreground">Natija faqat shu brauzerda saqlanadi.</p>
        </Card>

        <Card aria-labelledby="letters-heading" className="flex flex-col p-6">
          <h2 id="letters-heading" className="text-subheading font-semibold">
            Bu mashqdagi 4 harf
          </h2>
          <ul className="my-auto grid grid-cols-4 gap-2.5 pt-4">
            {LETTER_LEGEND.map((row) => (
              <li
                key={row.letter}
                className="flex flex-col items-center gap-3 rounded-control border bg-background/60 px-1 pt-5 pb-4"
              >
                <span
                  role="img"
                  aria-label={EXAMPLE_WORDS[row.letter]}
                  className="text-[2.75rem] leading-none font-semibold text-brand-ink"
                >
                  {row.letter}
                </span>
                <span className="rounded-md bg-secondary px-1.5 font-mono text-caption whitespace-nowrap text-muted-foreground ring-1 ring-border ring-inset">
                  {row.zero} → {row.letter}
                </span>
              </li>
            ))}
          </ul>
        </Card>

        <Card aria-labelledby="progress-heading" className="p-6">
          <ProgressHeading />
          <p className="mt-1 text-small text-muted-foreground">
            Eng yaxshi: <span className="font-semibold text-foreground">{best.wpm} WPM</span> · oxirgi natijalar
          </p>
          <ol aria-label="Oxirgi natijalar" className="mt-4 flex flex-col gap-2.5">
            {recent.map((r, i) => (
              <li key={`${r.date}-${i}`} className="grid grid-cols-[4.75rem_1fr_auto] items-center gap-3 text-small">
                <span className="font-semibold tabular-nums">{r.wpm} WPM</span>
                <Progress
                  aria-hidden
                  value={Math.min(100, Math.round((r.wpm / Math.max(1, best.wpm)) * 100))}
                />
                <span className="text-muted-foreground tabular-nums">
                  {r.accuracy}% · {r.seconds}s
                </span>
              </li>
            ))}
          </ol>
        </Card>
      </div>
      <div className="flex justify-end">
        <Button variant="ghost" onClick={onExit}>
          Tugatish
        </Button>
      </div>
    </div>
  );
}

export function DurationTabs({
  duration,
  disabled,
  onDuration,
}: {
  duration: Duration;
  disabled: boolean;
  onDuration: (duration: Duration) => void;
}) {
  return (
    <Tabs value={String(duration)} onValueChange={(v) => onDuration(Number(v) as Duration)}>
      <TabsList aria-label="Davomiyligi" className="w-56">
        {DURATIONS.map((d) => (
          <TabsTrigger key={d} value={String(d)} disabled={disabled}>
            {d} soniya
          </TabsTrigger>
        ))}
      </TabsList>
    </Tabs>
  );
}

function ProgressHeading() {
  return (
    <div className="flex flex-wrap items-center justify-between gap-2">
      <h2 id="progress-heading" className="text-subheading font-semibold">
        Progress
      </h2>
      <StatusBadge tone="muted">Faqat shu brauzerda</StatusBadge>
    </div>
  );
}

const FINGERS = ["Kichik", "Nomsiz", "O‘rta", "Ko‘rsatkich"];

function Hand({ label, keys, fingers }: { label: string; keys: string[]; fingers: string[] }) {
  return (
    <div className="flex items-start gap-3">
      <span className="w-[4.5rem] shrink-0 pt-2 text-small font-semibold">{label}</span>
      <ol aria-label={label} className="grid flex-1 grid-cols-4 gap-1.5">
        {keys.map((key, i) => {
          const home = key === "F" || key === "J";
          return (
            <li key={key} className="flex flex-col items-center gap-1">
              <span
                data-home={home || undefined}
                className={cn(
                  "relative grid size-10 place-items-center rounded-lg border border-b-[3px] font-mono text-body-sm font-semibold",
                  home ? "border-brand-deep bg-brand text-white" : "border-input bg-card text-foreground",
                )}
              >
                {key}
                {home && <span aria-hidden className="absolute bottom-1.5 h-0.5 w-2.5 rounded-full bg-white/80" />}
              </span>
              <span className="text-[0.6875rem] leading-tight whitespace-nowrap text-muted-foreground">{fingers[i]}</span>
            </li>
          );
        })}
      </ol>
    </div>
  );
}
