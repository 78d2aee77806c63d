import { cva, type VariantProps } from "class-variance-authority";
import type { ReactNode } from "react";
import { cn } from "../../lib/utils";

const badgeVariants = cva(
  "inline-flex items-center gap-1.5 rounded-full px-2.5 py-0.5 text-caption font-semibold whitespace-nowrap",
  {
    variants: {
      tone: {
        green: "bg-success/12 text-success-fg",
        grey: "bg-foreground/[0.07] text-muted-foreground",
        brand: "bg-accent text-accent-foreground",
        muted: "bg-muted text-muted-foreground ring-1 ring-border ring-inset",
        amber: "bg-warning/12 text-warning-fg",
        red: "bg-destructive/12 text-danger-fg",
      },
    },
    defaultVariants: { tone: "grey" },
  },
);

const dotColour = {
  green: "bg-success",
  grey: "bg-muted-foreground/60",
  brand: "bg-brand",
  muted: "bg-muted-foreground/50",
  amber: "bg-warning",
  red: "bg-destructive",
} as const;

export type BadgeTone = keyof typeof dotColour;

interface StatusBadgeProps extends VariantProps<typeof badgeVariants> {
  tone: BadgeTone;
  children: ReactNode;
  className?: string;
}

/** A pill with a coloured dot and a short text. */
export function StatusBadge({ tone, children, className }: StatusBadgeProps) {
  return (
    <span className={cn(badgeVariants({ tone }), className)} data-tone={tone}>
      <span aria-hidden className={cn("size-1.5 rounded-full", dotColour[tone])} />
      {children}
    </span>
  );
}
