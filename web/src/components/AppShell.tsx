import type { ReactNode } from "react";
import { Link, useLocation } from "react-router";
import { AppWindow, FileText, House, Keyboard, Settings } from "lucide-react";
import type { Snapshot } from "../lib/types";
import { cn } from "../lib/utils";
import { TitleBar } from "./TitleBar";

interface AppShellProps {
  /** Show the sidebar (only once onboarding is done). */
  nav: boolean;
  state: Snapshot;
  children: ReactNode;
}

/** The main window: title bar, the sidebar when `nav` is on, and the scrolling main area. */
export function AppShell({ nav, children }: AppShellProps) {
  return (
    <div className="flex h-full flex-col bg-background text-foreground">
      <TitleBar />
      <div className="flex min-h-0 flex-1">
        {nav && <Sidebar />}
        <main
          className={cn(
            "min-w-0 flex-1 overflow-y-auto",
            nav ? "pt-5 pr-7 pb-6 pl-3" : "px-8 pt-6 pb-8",
          )}
        >
          {children}
        </main>
      </div>
    </div>
  );
}

const NAV_ITEMS = [
  { label: "Asosiy", to: "/", icon: House, also: [] },
  { label: "Mashq", to: "/lab", icon: Keyboard, also: ["/keymap"] },
  { label: "Dasturlar", to: "/apps", icon: AppWindow, also: [] },
  { label: "Konvertor", to: "/converter", icon: FileText, also: [] },
  { label: "Sozlamalar", to: "/settings", icon: Settings, also: ["/about"] },
];

function Sidebar() {
  const { pathname } = useLocation();
  return (
    <aside className="flex w-[184px] shrink-0 flex-col px-3 pt-3 pb-4">
      <p className="mb-5 px-3 text-heading font-bold select-none">
        Ha<span className="text-brand">rvel</span>
      </p>
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
                      ? "bg-brand text-white shadow-brand-sm"
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
    </aside>
  );
}
