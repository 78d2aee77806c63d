import type { ReactNode } from "react";
import { Card } from "../../components/ui/Card";
import { cn } from "../../lib/utils";

interface SettingRowProps {
  title: ReactNode;
  hint?: ReactNode;
  /** The control at the right (below on narrow windows). */
  control?: ReactNode;
  /** Content under the title and hint, across the row. */
  children?: ReactNode;
  className?: string;
  /** Ties the control's accessible name to the title. */
  id?: string;
}

/** One line of a settings card: title and hint on the left, the control on the right. */
export function SettingRow({ title, hint, control, children, className, id }: SettingRowProps) {
  return (
    <div data-setting-row className={cn("px-6 py-4", className)}>
      <div className="flex flex-col gap-3 sm:flex-row sm:items-center sm:gap-6">
        <div className="min-w-0 flex-1">
          <p id={id} data-setting-title className="text-body-sm font-semibold text-foreground">
            {title}
          </p>
          {hint && (
            <p data-setting-hint className="mt-0.5 text-small text-muted-foreground">
              {hint}
            </p>
          )}
        </div>
        {control && <div className="flex shrink-0 items-center gap-2">{control}</div>}
      </div>
      {children}
    </div>
  );
}

/** A card of setting rows with a heading above it. */
export function SettingsCard({
  heading,
  children,
  className,
}: {
  heading?: string;
  children: ReactNode;
  className?: string;
}) {
  return (
    <section className={cn("flex flex-col gap-2", className)} aria-label={heading}>
      {heading && <h2 className="px-1 text-subheading font-semibold">{heading}</h2>}
      <Card className="divide-y divide-border overflow-hidden">{children}</Card>
    </section>
  );
}
