import type { ReactNode } from "react";
import { cn } from "../../lib/utils";

/** A key name drawn as a small key: monospace, with a thicker bottom edge. */
export function KeyCap({ children, className }: { children: ReactNode; className?: string }) {
  return (
    <kbd
      className={cn(
        "mx-px inline-flex min-w-[1.5em] items-center justify-center rounded-md border border-b-2 border-input bg-card px-1.5",
        "align-[0.08em] font-mono text-[0.82em] leading-[1.45] font-medium whitespace-nowrap text-foreground",
        className,
      )}
    >
      {children}
    </kbd>
  );
}
