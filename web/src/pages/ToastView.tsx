import { useLocation } from "react-router";
import type { ToastData } from "../lib/types";

/** The notice to show: the start script's `window.__toast`, else the route's query. */
export function readToastData(search: string): ToastData {
  if (window.__toast) return window.__toast;
  const query = new URLSearchParams(search);
  return {
    title: query.get("title") ?? "",
    body: query.get("body") ?? "",
    kind: query.get("kind") ?? "info",
  };
}

/** The toast window's view (route "/toast"); it needs neither a state nor the facade. */
export function ToastView() {
  const { search } = useLocation();
  const toast = readToastData(search);
  return (
    <section className="glass m-1 h-[calc(100vh-8px)] overflow-hidden rounded-card px-4 py-3">
      <h1 className="text-body-sm font-semibold">{toast.title}</h1>
      <p className="text-caption text-muted-foreground">{toast.body}</p>
    </section>
  );
}
