import { CircleCheck, CircleExclamationPoint, Info, LoaderCircle, OctagonExclamationPoint, type LucideIcon } from "lucide-react";
import type { ReactNode } from "react";
import { cn } from "../../lib/utils";

export type BannerTone = "info" | "success" | "warning" | "danger";

const tones: Record<BannerTone, { box: string; icon: string; glyph: LucideIcon }> = {
  info: { box: "border-brand/20 bg-accent/70 text-info-fg", icon: "text-brand", glyph: Info },
  success: { box: "border-success/25 bg-success/8 text-success-fg", icon: "text-success", glyph: CircleCheck },
  warning: {
    box: "border-warning/25 bg-warning/8 text-warning-fg",
    icon: "text-warning",
    glyph: CircleExclamationPoint,
  },
  danger: {
    box: "border-destructive/25 bg-destructive/8 text-danger-fg",
    icon: "text-destructive",
    glyph: OctagonExclamationPoint,
  },
};

interface BannerProps {
  tone: BannerTone;
  title?: ReactNode;
  children?: ReactNode;
  /** Buttons at the right (below on narrow windows). */
  action?: ReactNode;
  /** Shows a spinning icon in place of the tone's icon. */
  busy?: boolean;
  className?: string;
}

/** A notice strip; warnings and dangers are announced as alerts, the others as status. */
export function Banner({ tone, title, children, action, busy, className }: BannerProps) {
  const look = tones[tone];
  const Icon = busy ? LoaderCircle : look.glyph;
  const urgent = tone === "warning" || tone === "danger";
  return (
    <div
      role={urgent ? "alert" : "status"}
      data-tone={tone}
      className={cn(
        "flex flex-col gap-3 rounded-control border px-4 py-3 sm:flex-row sm:items-center",
        look.box,
        className,
      )}
    >
      <div className="flex min-w-0 flex-1 gap-3">
        <Icon
          aria-hidden
          className={cn("mt-[3px] size-[18px] shrink-0", look.icon, busy && "animate-spin")}
          strokeWidth={2.25}
        />
        <div className="min-w-0 flex-1 text-body-sm">
          {title && (
            <p data-banner-title className="font-semibold text-foreground">
              {title}
            </p>
          )}
          {children && (
            <div data-banner-text className={cn(title && "mt-0.5", "text-foreground/80")}>
              {children}
            </div>
          )}
        </div>
      </div>
      {action && <div className="flex shrink-0 flex-wrap gap-2 pl-[30px] sm:pl-0">{action}</div>}
    </div>
  );
}
