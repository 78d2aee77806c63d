import type { ReactNode } from "react";
import { cn } from "../lib/utils";

interface PageHeaderProps {
  /** The small title above the page title. */
  eyebrow?: string;
  title: string;
  subtitle?: ReactNode;
  children?: ReactNode;
  className?: string;
}

export function PageHeader({ eyebrow, title, subtitle, children, className }: PageHeaderProps) {
  return (
    <header className={cn("mb-6", className)}>
      {eyebrow && (
        <p className="mb-1 text-caption font-semibold tracking-wider text-brand-ink uppercase">{eyebrow}</p>
      )}
      <h1 className="text-title font-semibold text-foreground">{title}</h1>
      {subtitle && <p className="mt-2 max-w-2xl text-body text-muted-foreground">{subtitle}</p>}
      {children}
    </header>
  );
}
