import { cn } from "../../lib/utils";

/** A program's icon, or a tile with the first letter of its name. */
export function AppIcon({ name, icon, className }: { name: string; icon?: string; className?: string }) {
  if (icon) {
    return <img src={icon} alt="" aria-hidden className={cn("size-8 shrink-0 rounded-md object-contain", className)} />;
  }
  return (
    <span
      aria-hidden
      data-testid="app-tile"
      className={cn(
        "grid size-8 shrink-0 place-items-center rounded-md bg-accent text-body-sm font-semibold text-accent-foreground",
        className,
      )}
    >
      {initial(name)}
    </span>
  );
}

export function initial(name: string): string {
  const first = [...name.trim()][0];
  return first ? first.toUpperCase() : "?";
}
