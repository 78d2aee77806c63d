import { Navigate, Route, Routes, useLocation, useSearchParams } from "react-router";
import type { Snapshot } from "../lib/types";
import { AppsPage } from "../pages/AppsPage";
import { ConverterPage } from "../pages/ConverterPage";
import { HomePage } from "../pages/HomePage";
import { KeymapPage } from "../pages/KeymapPage";
import { LabPage } from "../pages/LabPage";
import { OnboardingPage } from "../pages/OnboardingPage";
import { SETTINGS_TABS, SettingsPage, type SettingsTab } from "../pages/SettingsPage";

// Every redirect replaces the history entry, so "back" never lands on a route that
// only forwards somewhere else.

/** The tab the settings query "s" selects; unknown values show the general tab. */
export function settingsTab(value: string | null): SettingsTab {
  return value !== null && Object.hasOwn(SETTINGS_TABS, value) ? (value as SettingsTab) : "general";
}

function SettingsRoute({ state }: { state: Snapshot }) {
  const [query] = useSearchParams();
  const s = query.get("s");
  if (s === "apps") return <Navigate to="/apps" replace />;
  return <SettingsPage state={state} tab={settingsTab(s)} />;
}

/** The route table of the main window. */
export function MainRoutes({ state }: { state: Snapshot }) {
  // Each opening of the welcome flow starts it afresh, even from the flow itself.
  const { key } = useLocation();
  return (
    <Routes>
      <Route caseSensitive path="/welcome" element={<OnboardingPage key={key} state={state} />} />
      <Route
        caseSensitive
        path="/"
        element={state.settings.onboarded ? <HomePage state={state} /> : <Navigate to="/welcome" replace />}
      />
      <Route caseSensitive path="/converter" element={<ConverterPage />} />
      <Route caseSensitive path="/apps" element={<AppsPage state={state} />} />
      <Route caseSensitive path="/settings" element={<SettingsRoute state={state} />} />
      <Route caseSensitive path="/keymap" element={<KeymapPage state={state} />} />
      <Route caseSensitive path="/lab" element={<LabPage state={state} />} />
      <Route caseSensitive path="/about" element={<Navigate to="/settings?s=about" replace />} />
      <Route path="*" element={<Navigate to="/" replace />} />
    </Routes>
  );
}
