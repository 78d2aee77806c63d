import { useEffect, useState } from "react";
import { useLocation } from "react-router";
import type { ToastData, ToastKind } from "../lib/types";
import { cn } from "../lib/utils";

/** The notice to show: the start script's `window.__toast`, else the route's query. */
export function readToastData(search: string): ToastData {
  const given = window.__toast;
  if (given) {
    // A notice the native side could not serialise arrives as {}: show the defaults.
    return {
      title: typeof given.title === "string" ? given.title : "",
      body: typeof given.body === "string" ? given.body : "",
      kind: typeof given.kind === "string" ? given.kind : "info",
    };
  }
  const query = new URLSearchParams(search);
  return {
    title: query.get("title") ?? "",
    body: query.get("body") ?? "",
    kind: query.get("kind") ?? "info",
  };
}

interface KindStyle {
  glyph: string;
  box: string;
  bar: string;
}

const KIND_STYLES: Record<ToastKind, KindStyle> = {
  info: { glyph: "ş", box: "bg-accent text-info-fg", bar: "bg-brand" },
  ok: { glyph: "✓", box: "bg-success/15 text-success-fg", bar: "bg-success" },
  off: { glyph: "–", box: "bg-muted text-muted-foreground ring-1 ring-border ring-inset", bar: "bg-muted-foreground" },
  warn: { glyph: "!", box: "bg-warning/15 text-warning-fg", bar: "bg-warning" },
  error: { glyph: "✕", box: "bg-destructive/12 text-danger-fg", bar: "bg-destructive" },
};

/** A kind's look; any unknown kind looks like "info". */
export function toastKind(kind: string): ToastKind {
  return Object.hasOwn(KIND_STYLES, kind) ? (kind as ToastKind) : "info";
}

// The bar only shows the time left; the native side closes the window.
const BAR_MS = 3200;

/** The toast window's view (route "/toast"); it needs neither a state nor the facade. */
export function ToastView() {
  const { search } = useLocation();
  const toast = readToastData(search);
  const kind = toastKind(toast.kind);
  const look = KIND_STYLES[kind];
  const guess = toast.title.startsWith("Til:");
  const [running, setRunning] = useState(false);

  useEffect(() => {
    const frame = requestAnimationFrame(() => setRunning(true));
    return () => cancelAnimationFrame(frame);
  }, []);

  const close = () => {
    if (window.uz) window.uz.closeToast().catch(() => {});
    else window.close();
  };

  // The 4 px inset is the wrapper's padding: a margin on the card would collapse through
  // the page's body and push the page 4 px past the window, which then scrolls.
  return (
    <div className="h-full p-1">
      <section
        role={kind === "error" || kind === "warn" ? "alert" : "status"}
        data-kind={kind}
        onClick={close}
        style={{ boxShadow: "var(--shadow-toast)" }}
        className={cn(
          "glass relative flex h-full cursor-default items-center gap-3 overflow-hidden rounded-card",
          "py-3 pr-4 pl-3.5 select-none",
        )}
      >
        <div
          aria-hidden
          data-testid="toast-glyph"
          className={cn("grid size-9 shrink-0 place-items-center rounded-control text-subheading font-bold", look.box)}
        >
          {look.glyph}
        </div>
        <div className="min-w-0 flex-1">
          <div className="flex min-w-0 items-center gap-2">
            <h1 className="truncate text-body-sm font-bold">{toast.title}</h1>
            {guess && (
              <span className="shrink-0 rounded-full bg-warning/15 px-1.5 py-px text-[0.625rem] leading-4 font-semibold tracking-wide text-warning-fg uppercase">
                taxmin
              </span>
            )}
          </div>
          {toast.body && <p className="line-clamp-2 text-caption text-muted-foreground">{toast.body}</p>}
        </div>
        {/* The bar runs along the straight part of the bottom edge, clear of the rounded
            corners: a web view that paints over what it painted before (WebKitGTK's, in a
            see-through window) would darken the corners' half-covered pixels at every step. */}
        <div aria-hidden className="absolute inset-x-(--radius-card) bottom-0 h-0.5">
          <div
            data-testid="toast-bar"
            className={cn("h-full ease-linear", look.bar)}
            style={{
              width: running ? "0%" : "100%",
              transitionProperty: "width",
              transitionDuration: running ? `${BAR_MS}ms` : "0ms",
            }}
          />
        </div>
      </section>
    </div>
  );
}
