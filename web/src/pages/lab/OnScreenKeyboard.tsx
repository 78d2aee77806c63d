import { ArrowDown } from "lucide-react";
import { useLayoutEffect, useRef, useState } from "react";
import type { ModeName } from "../../lib/types";
import { cn } from "../../lib/utils";
import { DEFAULT_KEYS, type KeySet } from "../../typing/keys";
import { keyboardRows, spellingCards, type DrawnKey } from "./keymap";

const GAP = 5;

/** How the new letters are typed in `mode` with `keys`, drawn as a keyboard or as spelling cards. */
export function OnScreenKeyboard({ mode, keys = DEFAULT_KEYS }: { mode: ModeName; keys?: KeySet }) {
  if (mode === "zero" || mode === "english") {
    return (
      <ul data-testid="spelling-cards" className="grid grid-cols-4 gap-3">
        {spellingCards(mode).map(({ spelling, letter }) => (
          <li
            key={letter}
            data-letter={letter}
            className="flex flex-col items-center gap-2 rounded-control border bg-background/60 px-3 pt-4 pb-3"
          >
            <span
              data-spelling
              className="rounded-md bg-secondary px-2.5 py-0.5 font-mono text-body font-semibold ring-1 ring-border ring-inset"
            >
              {spelling}
            </span>
            <ArrowDown aria-label="↓" className="size-4 text-muted-foreground" strokeWidth={2.25} />
            <span className="text-[2.25rem] leading-none font-semibold text-brand-ink">{letter}</span>
          </li>
        ))}
      </ul>
    );
  }

  return <DrawnKeyboard mode={mode} keys={keys} />;
}

/**
 * The keyboard of Fast or Hybrid at its natural size (48 px keys), scaled down as a whole
 * when the space is narrower, so its rows never wrap or scroll.
 */
function DrawnKeyboard({ mode, keys }: { mode: "fast" | "hybrid"; keys: KeySet }) {
  const rows = keyboardRows(mode, keys);
  const outer = useRef<HTMLDivElement>(null);
  const inner = useRef<HTMLDivElement>(null);
  const [fit, setFit] = useState<{ scale: number; height: number } | null>(null);

  useLayoutEffect(() => {
    const box = outer.current;
    const board = inner.current;
    if (!box || !board || typeof ResizeObserver === "undefined") return;
    const measure = () => {
      const natural = board.offsetWidth;
      const room = box.clientWidth;
      if (natural <= 0 || room <= 0) return;
      const scale = Math.min(1, room / natural);
      setFit({ scale, height: board.offsetHeight * scale });
    };
    measure();
    const observer = new ResizeObserver(measure);
    observer.observe(box);
    return () => observer.disconnect();
  }, [keys.hybrid]);

  return (
    <div ref={outer} className="relative w-full" style={fit ? { height: fit.height } : undefined}>
      <div
        ref={inner}
        data-testid="keyboard"
        aria-hidden
        style={fit ? { transform: `translateX(-50%) scale(${fit.scale})` } : undefined}
        className={cn(
          "w-max rounded-[18px] bg-linear-to-b from-kb-case-1 via-kb-case-2 to-kb-case-3 p-2.5",
          "shadow-[0_1px_0_#ffffff80_inset,0_10px_24px_-12px_var(--kb-shadow)]",
          "dark:shadow-[0_10px_24px_-12px_var(--kb-shadow)] dark:ring-1 dark:ring-border",
          fit ? "absolute top-0 left-1/2 origin-top" : "mx-auto",
        )}
      >
        <div className="flex flex-col rounded-[13px] bg-kb-plate p-2" style={{ gap: GAP }}>
          {rows.map((row, r) => (
            <div key={r} className="flex" style={{ gap: GAP, paddingLeft: row.indent }}>
              {row.keys.map((key, k) => (
                <Key key={k} drawn={key} />
              ))}
            </div>
          ))}
        </div>
      </div>
    </div>
  );
}

function Key({ drawn }: { drawn: DrawnKey }) {
  const { label, width, modifier, extra, badge } = drawn;
  return (
    <div
      data-key={label}
      data-extra={extra || undefined}
      data-badge={badge}
      style={{ width }}
      className={cn(
        "relative h-12 shrink-0 rounded-[9px] border-b-4 font-medium select-none",
        extra
          ? "border-brand-deep bg-brand text-white"
          : modifier
            ? "border-kb-mod-skirt bg-kb-mod text-kb-fg"
            : "border-kb-skirt bg-kb-top text-kb-fg",
      )}
    >
      {badge ? (
        <>
          <span className="absolute top-1.5 left-2 text-caption leading-none font-semibold">{label}</span>
          <span className="absolute right-1 bottom-1 grid size-[1.375rem] place-items-center rounded-md bg-brand-lime text-small leading-none font-bold text-brand-forest shadow-[0_1px_0_#0a3b3433]">
            {badge}
          </span>
        </>
      ) : (
        <span
          className={cn(
            "absolute inset-0 grid place-items-center px-1 text-center leading-tight",
            modifier ? "text-caption" : "text-small",
            extra && "font-semibold",
          )}
        >
          {label}
        </span>
      )}
    </div>
  );
}
