import { Check } from "lucide-react";
import type { ReactNode } from "react";
import { cn } from "../../lib/utils";

const STEPS = ["Tanishuv", "Rejim tanlash", "Jonli sinov"];

/** The three-step indicator: earlier steps done, the current one active. */
export function StepIndicator({ current }: { current: 1 | 2 | 3 }) {
  return (
    <ol aria-label="Tanishuv qadamlari" className="mb-8 flex items-center gap-2">
      {STEPS.map((label, i) => {
        const step = i + 1;
        const done = step < current;
        const active = step === current;
        return (
          <li
            key={label}
            aria-current={active ? "step" : undefined}
            data-done={done || undefined}
            className="flex items-center gap-2"
          >
            {i > 0 && <span aria-hidden className={cn("h-px w-8 bg-border", (done || active) && "bg-brand/50")} />}
            <span
              aria-hidden
              className={cn(
                "grid size-6 place-items-center rounded-full text-caption font-semibold",
                done && "bg-brand text-white",
                active && "bg-accent text-accent-foreground ring-2 ring-brand",
                !done && !active && "bg-secondary text-muted-foreground ring-1 ring-border",
              )}
            >
              {done ? <Check className="size-3.5" strokeWidth={3} /> : step}
            </span>
            <span
              className={cn(
                "text-small font-medium",
                active ? "text-foreground" : done ? "text-brand-ink" : "text-muted-foreground",
              )}
            >
              {label}
            </span>
          </li>
        );
      })}
    </ol>
  );
}

export interface NumberedItem {
  title: string;
  text: ReactNode;
}

/** Numbered points, each a bold title over its text. */
export function NumberedList({ items, label, className }: { items: NumberedItem[]; label?: string; className?: string }) {
  return (
    <ol aria-label={label} className={cn("flex flex-col gap-4", className)}>
      {items.map((item, i) => (
        <li key={item.title} className="flex gap-3">
          <span
            aria-hidden
            className="mt-px grid size-6 shrink-0 place-items-center rounded-full bg-accent text-caption font-bold text-accent-foreground"
          >
            {i + 1}
          </span>
          <div className="min-w-0">
            <p className="text-body-sm font-semibold">{item.title}</p>
            <p className="text-body-sm text-muted-foreground">{item.text}</p>
          </div>
        </li>
      ))}
    </ol>
  );
}

export function ScreenHeading({ eyebrow, title, children }: { eyebrow?: string; title: string; children?: ReactNode }) {
  return (
    <header className="mb-6">
      {eyebrow && <p className="mb-1 text-caption font-semibold tracking-wider text-brand-ink uppercase">{eyebrow}</p>}
      <h1 className="text-title font-semibold">{title}</h1>
      {children}
    </header>
  );
}

/** The product's mark: a brand tile with the new letter ş. */
export function Logo({ className }: { className?: string }) {
  return (
    <div
      aria-hidden
      className={cn(
        "relative grid size-14 place-items-center rounded-2xl bg-brand text-[2rem] leading-none font-bold text-white shadow-brand",
        className,
      )}
    >
      ş
      <span className="absolute top-2 right-2 size-2 rounded-full bg-brand-lime" />
    </div>
  );
}
