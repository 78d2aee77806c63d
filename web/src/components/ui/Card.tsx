import type { ComponentProps } from "react";
import { cn } from "../../lib/utils";

/** The card surface with 20 px corners. */
export function Card({ className, ...props }: ComponentProps<"section">) {
  return <section className={cn("glass rounded-card", className)} {...props} />;
}
