import { PageHeader } from "../components/PageHeader";

export const SETTINGS_TABS = {
  general: "Umumiy",
  update: "Yangilanish",
  privacy: "Maxfiylik",
  about: "Haqida",
} as const;

export type SettingsTab = keyof typeof SETTINGS_TABS;

export function SettingsPage({ tab }: { tab: SettingsTab }) {
  return (
    <PageHeader eyebrow="Sozlamalar" title="Sozlamalar">
      <h2 className="mt-6 text-subheading font-semibold">{SETTINGS_TABS[tab]}</h2>
    </PageHeader>
  );
}
