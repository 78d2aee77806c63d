import { Fragment } from "react";
import type { RuleMode } from "../../lib/types";
import { cn } from "../../lib/utils";
import { extraKeyLabel, keyCaption, LETTER_LEGEND, type KeySet } from "../../typing/keys";
import { KeyCap } from "../ui/KeyCap";

/** How a caption such as "Right Alt + S" is drawn: each key as a key cap. */
export function KeyCombo({ caption, className }: { caption: string; className?: string }) {
  const keys = caption.split(" + ");
  return (
    <span className={cn("inline-flex flex-wrap items-center justify-center gap-x-1 gap-y-0.5", className)}>
      {keys.map((key, i) => (
        <Fragment key={i}>
          {i > 0 && <span className="text-caption text-muted-foreground"> + </span>}
          <KeyCap>{key}</KeyCap>
        </Fragment>
      ))}
    </span>
  );
}

/** The sentence under the legend; none for modes that type no new letters. */
export function legendNote(mode: RuleMode, hybridKey: string): { key?: string; before?: string; after: string } | null {
  const extra = extraKeyLabel(hybridKey);
  switch (mode) {
    case "fast":
      return { key: extra, after: " bosib turilsa tugmaning asl belgisi chiqadi." };
    case "hybrid":
      return { before: "Oddiy s, c, o, g o‘zgarmaydi. ", key: extra, after: " bilan yangi harf chiqadi." };
    case "zero":
      return { after: "Odatdagidek yozing: sh, ch, o‘, g‘ yozilgan zahoti ş, ç, ö, ğ ga aylanadi." };
    default:
      return null;
  }
}

/** Four boxes ş, ç, ö, ğ, each with how it is typed in `mode` with the user's keys. */
export function Legend({ mode, keys }: { mode: RuleMode; keys: KeySet }) {
  const none = mode === "off" || mode === "english";
  const note = legendNote(mode, keys.hybrid);
  return (
    <div>
      <ul aria-label="Harflar" className="grid grid-cols-4 gap-3">
        {LETTER_LEGEND.map((row) => {
          const caption = keyCaption(mode, row, keys);
          return (
            <li
              key={row.letter}
              data-letter={row.letter}
              className={cn(
                "flex flex-col items-center gap-2 rounded-control border bg-background/60 px-2 pt-3 pb-2.5 transition-opacity",
                none && "opacity-45",
              )}
            >
              <span data-caption className="flex min-h-6 items-center">
                {none ? (
                  <span className="text-muted-foreground">{caption}</span>
                ) : mode === "zero" ? (
                  <span className="rounded-md bg-secondary px-1.5 font-mono text-small font-medium ring-1 ring-border ring-inset">
                    {caption}
                  </span>
                ) : (
                  <KeyCombo caption={caption} />
                )}
              </span>
              <span className="text-[2rem] leading-none font-semibold text-brand-ink">{row.letter}</span>
            </li>
          );
        })}
      </ul>
      {note && (
        <p data-legend-note className="mt-3 text-small text-muted-foreground">
          {note.before}
          {note.key && <KeyCap>{note.key}</KeyCap>}
          {note.after}
        </p>
      )}
    </div>
  );
}
