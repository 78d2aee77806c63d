import { useEffect, useEffectEvent, useRef, useState } from "react";
import { flushSync } from "react-dom";
import { useLocation, useNavigate } from "react-router";
import { AppShell } from "../components/AppShell";
import { useTheme, useTransparentPage } from "../lib/theme";
import type { Snapshot } from "../lib/types";
import { ToastView } from "../pages/ToastView";
import { TrayPopup } from "../pages/TrayPopup";
import { DebugOverlay } from "./DebugOverlay";
import { ErrorBoundary } from "./ErrorBoundary";
import { MainRoutes } from "./MainRoutes";
import { Notices } from "./Notices";

/**
 * Holds the last Snapshot, follows "state-changed" and "navigate", applies the theme
 * and picks what this window shows: the toast view, the tray pop-up or the main window.
 *
 * A hidden window renders its first Snapshot, so it comes up at once when shown, and
 * keeps the later ones until it is shown again: the native side broadcasts every change
 * (each switch to another program among them), and a page nobody sees does no work.
 */
export function Root() {
  const { pathname } = useLocation();
  const navigate = useNavigate();
  const uz = window.uz;
  const [state, setState] = useState<Snapshot | null>(null);
  // The first answer to the state request came (or failed).
  const [answered, setAnswered] = useState(false);
  const kept = useRef<Snapshot | null>(null);

  const goTo = useEffectEvent((route: string) => navigate(route));
  const receive = useEffectEvent((snapshot: Snapshot) => {
    if (state !== null && document.visibilityState === "hidden") {
      kept.current = snapshot;
      return;
    }
    kept.current = null;
    setState(snapshot);
  });

  useEffect(() => {
    // Rendered at once, before the shown window is painted.
    const shown = () => {
      const snapshot = kept.current;
      if (document.visibilityState === "hidden" || snapshot === null) return;
      kept.current = null;
      flushSync(() => setState(snapshot));
    };
    document.addEventListener("visibilitychange", shown);
    return () => document.removeEventListener("visibilitychange", shown);
  }, []);

  useEffect(() => {
    if (!uz) return;
    let live = true;
    // Whichever Snapshot arrives last wins, the first answer included; a failed
    // answer leaves the window blank until the next "state-changed".
    uz.getState()
      .then(
        (snapshot) => live && receive(snapshot),
        () => {},
      )
      .finally(() => live && setAnswered(true));
    const stopState = uz.onState((snapshot) => receive(snapshot));
    const stopNavigate = uz.onNavigate((route) => goTo(route));
    return () => {
      live = false;
      stopState();
      stopNavigate();
    };
  }, [uz]);

  useTheme(state?.settings.theme ?? "system");
  useTransparentPage(pathname === "/tray" || pathname === "/toast");

  // In the program the toast waits for the state's answer, so that its first paint has the
  // theme: a see-through window in WebKitGTK keeps the edges of what it painted before.
  if (pathname === "/toast") return uz && !answered && state === null ? null : <ToastView />;
  if (!uz) {
    return <p className="p-6 text-body">Harvel ilovasi o‘rnatilgan holda ishga tushirilishi kerak.</p>;
  }
  if (!state) return null;
  if (pathname === "/tray") return <TrayPopup state={state} />;

  return (
    <>
      <ErrorBoundary>
        <AppShell nav={state.settings.onboarded} state={state}>
          <MainRoutes state={state} />
        </AppShell>
      </ErrorBoundary>
      <Notices />
      <DebugOverlay state={state} />
    </>
  );
}
