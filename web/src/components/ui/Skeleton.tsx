import type { ComponentProps } from "react";
import { cn } from "../../lib/utils";

/** A placeholder block that pulses while its content is on the way. */
export function Skeleton({ className, ...props }: ComponentProps<"div">) {
  return <div aria-hidden className={cn("animate-pulse rounded-md bg-muted", className)} {...props} />;
}
