import { useLayoutEffect } from "react";
import type { Theme } from "./types";

const DARK_QUERY = "(prefers-color-scheme: dark)";

function darkQuery(): MediaQueryList | undefined {
  return typeof window.matchMedia === "function" ? window.matchMedia(DARK_QUERY) : undefined;
}

/** Dark for "dark", and for "system" while the system prefers dark; light for anything else. */
export function isDark(theme: Theme, systemDark: boolean): boolean {
  return theme === "dark" || (theme === "system" && systemDark);
}

export function applyTheme(theme: Theme): void {
  const dark = isDark(theme, darkQuery()?.matches ?? false);
  const root = document.documentElement;
  root.classList.toggle("dark", dark);
  root.style.colorScheme = dark ? "dark" : "light";
}

/** Keeps the root element on `theme`, following the system's preference live. */
export function useTheme(theme: Theme): void {
  useLayoutEffect(() => {
    const query = darkQuery();
    const apply = () => applyTheme(theme);
    apply();
    query?.addEventListener("change", apply);
    return () => query?.removeEventListener("change", apply);
  }, [theme]);
}

/**
 * The pop-up and toast windows draw their own rounded card on a see-through page. The page
 * has a ground of its own only where this marks it (index.css), so that a see-through
 * window is see-through from its first paint, before any script has run: WebKitGTK's web
 * view keeps what it painted once under what it paints later, and a white first paint would
 * stay as the toast's frame.
 */
export function useTransparentPage(transparent: boolean): void {
  useLayoutEffect(() => {
    document.documentElement.classList.toggle(OPAQUE_PAGE, !transparent);
  }, [transparent]);
}

/** The root element's class of a page with a ground of its own (the main window's). */
export const OPAQUE_PAGE = "opaque-page";
