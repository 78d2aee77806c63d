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

/** The pop-up and toast windows draw their own rounded card on a see-through page. */
export function useTransparentPage(transparent: boolean): void {
  useLayoutEffect(() => {
    const value = transparent ? "transparent" : "";
    document.documentElement.style.background = value;
    document.body.style.background = value;
  }, [transparent]);
}
