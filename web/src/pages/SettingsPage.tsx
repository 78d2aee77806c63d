import { useNavigate } from "react-router";
import { PageHeader } from "../components/PageHeader";
import { Tabs, TabsContent, TabsList, TabsTrigger } from "../components/ui/Tabs";
import type { Snapshot } from "../lib/types";
import { AboutTab } from "./settings/AboutTab";
import { GeneralTab } from "./settings/GeneralTab";
import { PrivacyTab } from "./settings/PrivacyTab";
import { UpdateTab } from "./settings/UpdateTab";

export const SETTINGS_TABS = {
  general: "Umumiy",
  update: "Yangilanish",
  privacy: "Maxfiylik",
  about: "Haqida",
} as const;

export type SettingsTab = keyof typeof SETTINGS_TABS;

const TAB_IDS = Object.keys(SETTINGS_TABS) as SettingsTab[];

/** An update waits for the user: a ready download, or a version that is no longer supported. */
export function updateNeedsAttention(state: Snapshot): boolean {
  return state.update.phase === "ready" || state.update.outdated;
}

/** The settings page: four tabs, the chosen one named by the query "s". */
export function SettingsPage({ state, tab }: { state: Snapshot; tab: SettingsTab }) {
  const navigate = useNavigate();

  // Switching tabs replaces the history entry: "back" leaves the page, not the tab.
  const choose = (value: string) =>
    navigate(value === "general" ? "/settings" : `/settings?s=${value}`, { replace: true });

  return (
    <div className="mx-auto flex max-w-[52rem] flex-col">
      <PageHeader eyebrow="Sozlamalar" title="Sozlamalar" className="mb-5" />
      <Tabs value={tab} onValueChange={choose} activationMode="manual">
        <TabsList aria-label="Sozlamalar bo‘limlari" className="mb-5">
          {TAB_IDS.map((id) => (
            <TabsTrigger key={id} value={id} className="px-4">
              {SETTINGS_TABS[id]}
              {id === "update" && updateNeedsAttention(state) && (
                <span className="text-warning in-data-[state=active]:text-brand-lime"> •</span>
              )}
            </TabsTrigger>
          ))}
        </TabsList>
        <TabsContent value="general" className="focus-visible:outline-none">
          <GeneralTab state={state} />
        </TabsContent>
        <TabsContent value="update" className="focus-visible:outline-none">
          <UpdateTab state={state} />
        </TabsContent>
        <TabsContent value="privacy" className="focus-visible:outline-none">
          <PrivacyTab state={state} />
        </TabsContent>
        <TabsContent value="about" className="focus-visible:outline-none">
          <AboutTab state={state} />
        </TabsContent>
      </Tabs>
    </div>
  );
}
