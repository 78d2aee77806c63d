import type { ReactNode } from "react";
import { Link, useLocation } from "react-router";
import { AppWindow, FileText, House, Keyboard, LogOut, Settings, type LucideIcon } from "lucide-react";
import type { Snapshot } from "../lib/types";
import { cn } from "../lib/utils";
import { AdCardView } from "./AdCardView";
import { statusSummary, type SummaryTone } from "./statusSummary";
import { TitleBar } from "./TitleBar";
import { Button } from "./ui/Button";

interface AppShellProps {
  /** Show the sidebar (only once onboarding is done). */
  nav: boolean;
  state: Snapshot;
  children: ReactNode;
}

/**
 * The main window: the title bar, the top advertisement strip, then the sidebar
 * (when `nav` is on) beside the scrolling main area.
 */
export function AppShell({ nav, state, children }: AppShellProps) {
  const { offers } = state.settings;
  const top = nav && offers ? state.ads.top : null;
  return (
    <div className="flex h-full flex-col bg-background text-foreground">
      <TitleBar />
      {top && <AdCardView card={top} state={state} variant="strip" />}
      <div className="flex min-h-0 flex-1">
        {nav && <Sidebar state={state} />}
        <main
          className={cn("min-w-0 flex-1 overflow-y-auto", nav ? "pt-5 pr-7 pb-6 pl-3" : "px-8 pt-6 pb-8")}
        >
          {children}
        </main>
      </div>
    </div>
  );
}

interface NavItem {
  label: string;
  to: string;
  icon: LucideIcon;
  /** Other routes on which this entry is the current one. */
  also: string[];
}

export const NAV_ITEMS: NavItem[] = [
  { label: "Asosiy", to: "/", icon: House, also: [] },
  { label: "Mashq", to: "/lab", icon: Keyboard, also: ["/keymap"] },
  { label: "Dasturlar", to: "/apps", icon: AppWindow, also: [] },
  { label: "Konvertor", to: "/converter", icon: FileText, also: [] },
  { label: "Sozlamalar", to: "/settings", icon: Settings, also: ["/about"] },
];

function Sidebar({ state }: { state: Snapshot }) {
  const side = state.settings.offers ? state.ads.side : null;
  const quit = () => {
    window.uz?.quit().catch(() => {});
  };
  return (
    <aside className="flex w-[184px] shrink-0 flex-col overflow-y-auto px-3 pt-2 pb-3">
      <p className="mb-4 px-3 text-[1.375rem] leading-none font-bold tracking-[-0.02em] select-none">
        Ha<span className="text-brand">rvel</span>
      </p>
      <SidebarNav />
      <div className="mt-auto flex flex-col gap-2 pt-4">
        {side && <AdCardView card={side} state={state} variant="card" />}
        <StatusCard state={state} />
        <Button
          variant="ghost"
          size="sm"
          className="justify-start px-3 font-medium text-muted-foreground"
          title="Harvel’ni to‘liq o‘chirish (tray’dan ham yo‘qoladi)"
          onClick={quit}
        >
          <LogOut strokeWidth={2} />
          Chiqish
        </Button>
      </div>
    </aside>
  );
}

export function SidebarNav() {
  const { pathname } = useLocation();
  return (
    <nav aria-label="Asosiy">
      <ul className="flex flex-col gap-1">
        {NAV_ITEMS.map(({ label, to, icon: Icon, also }) => {
          const current = pathname === to || also.includes(pathname);
          return (
            <li key={to}>
              <Link
                to={to}
                aria-current={current ? "page" : undefined}
                className={cn(
                  "flex h-10 items-center gap-3 rounded-control px-3 text-body-sm font-medium transition-colors",
                  current
                    ? "bg-brand font-semibold text-white shadow-brand-sm"
                    : "text-muted-foreground hover:bg-accent hover:text-accent-foreground",
                )}
              >
                <Icon className="size-[18px]" strokeWidth={current ? 2.25 : 1.75} />
                {label}
              </Link>
            </li>
          );
        })}
      </ul>
    </nav>
  );
}

const DOT: Record<SummaryTone, string> = {
  success: "bg-success shadow-[0_0_0_3px] shadow-success/20",
  warning: "bg-warning shadow-[0_0_0_3px] shadow-warning/20",
  danger: "bg-destructive shadow-[0_0_0_3px] shadow-destructive/20",
  muted: "bg-muted-foreground/50",
};

/** The sidebar's status summary. */
export function StatusCard({ state }: { state: Snapshot }) {
  const summary = statusSummary(state);
  return (
    <div role="status" data-tone={summary.tone} className="rounded-control border bg-card px-3 py-2.5">
      <p className="flex items-center gap-2 text-small leading-snug font-semibold">
        <span aria-hidden className={cn("size-2 shrink-0 rounded-full", DOT[summary.tone])} />
        <span className="min-w-0">{summary.text}</span>
      </p>
      <p className="mt-0.5 pl-4 text-caption text-muted-foreground">{summary.note}</p>
    </div>
  );
}
