import { useEffect, useEffectEvent, useState } from "react";
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
 */
export function Root() {
  const { pathname } = useLocation();
  const navigate = useNavigate();
  const uz = window.uz;
  const [state, setState] = useState<Snapshot | null>(null);

  const goTo = useEffectEvent((route: string) => navigate(route));

  useEffect(() => {
    if (!uz) return;
    let live = true;
    // Whichever Snapshot arrives last wins, the first answer included; a failed
    // answer leaves the window blank until the next "state-changed".
    uz.getState().then(
      (snapshot) => live && setState(snapshot),
      () => {},
    );
    const stopState = uz.onState(setState);
    const stopNavigate = uz.onNavigate((route) => goTo(route));
    return () => {
      live = false;
      stopState();
      stopNavigate();
    };
  }, [uz]);

  useTheme(state?.settings.theme ?? "system");
  useTransparentPage(pathname === "/tray" || pathname === "/toast");

  if (pathname === "/toast") return <ToastView />;
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
