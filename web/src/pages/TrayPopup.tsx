import { useEffect, useLayoutEffect, useRef, useState, type ReactNode } from "react";
import { AppWindow, Download, Keyboard, OctagonAlert, RotateCcw, Settings } from "lucide-react";
import { StatusBadge } from "../components/ui/Badge";
import { Button } from "../components/ui/Button";
import { Switch } from "../components/ui/Switch";
import { Tabs, TabsList, TabsTrigger } from "../components/ui/Tabs";
import { MODES, ruleLabel } from "../lib/modes";
import type { AppRule, ModeName, RuleMode, Snapshot } from "../lib/types";
import { cn } from "../lib/utils";

/** The pop-up's view of the state. */
export interface PopupView {
  kill: boolean;
  hookDown: boolean;
  /** Conversion is on and nothing stops it. */
  active: boolean;
  /** The current program's rule (from the rule list, not the program's own record). */
  rule: AppRule | undefined;
  /** What the current program gets: the rule's mode or the general mode; "off" when not active. */
  effective: RuleMode;
  tile: { text: string; tone: "danger" | "brand" | "muted" };
  title: string;
  subtitle: string;
}

const TAB_ORDER: ModeName[] = ["fast", "hybrid", "zero", "english"];
const PRODUCT = "Harvel";

export function popupView(state: Snapshot): PopupView {
  const { settings, currentApp } = state;
  const kill = state.killSwitch.active;
  const hookDown = state.hook === "error";
  const active = settings.enabled && !kill && !hookDown;
  const rule = currentApp ? settings.apps.find((r) => r.exe === currentApp.exe) : undefined;
  const effective: RuleMode = active ? (rule?.mode ?? settings.mode) : "off";

  const tile: PopupView["tile"] = hookDown
    ? { text: "!", tone: "danger" }
    : active
      ? { text: MODES[rule && rule.mode !== "off" ? rule.mode : settings.mode].short, tone: "brand" }
      : { text: PRODUCT[0], tone: "muted" };

  const title = kill
    ? "Harvel vaqtincha to‘xtatildi"
    : hookDown
      ? "Klaviatura kuzatuvi to‘xtadi"
      : active
        ? "Harvel yoqilgan"
        : "Harvel o‘chirilgan";
  const subtitle = kill
    ? "Administrator tomonidan o‘chirilgan"
    : hookDown
      ? "Qayta ulanmoqda…"
      : active
        ? rule
          ? `Umumiy rejim: ${MODES[settings.mode].label}`
          : "Umumiy rejim"
        : "Yozganingiz o‘zgarmaydi";

  return { kill, hookDown, active, rule, effective, tile, title, subtitle };
}

const ruleButton = "h-7 grow border border-border bg-card px-2.5 text-caption font-medium";

const TILE_TONES = {
  danger: "bg-destructive text-destructive-foreground",
  brand: "bg-brand text-white shadow-brand-sm",
  muted: "bg-muted text-muted-foreground ring-1 ring-border ring-inset",
};

// The focus lands here when the pop-up opens: a button, a switch or the selected tab.
function focusFirst(card: HTMLElement | null): void {
  const candidates = card?.querySelectorAll<HTMLElement>('button, [role="switch"], [role="tab"]') ?? [];
  for (const el of candidates) {
    if (el.matches(":disabled")) continue;
    if (el.getAttribute("role") === "tab" && el.getAttribute("aria-selected") !== "true") continue;
    el.focus();
    return;
  }
}

function PopupBanner({ tone, children }: { tone: "danger" | "info"; children: ReactNode }) {
  return (
    <div
      className={cn(
        "rounded-control border px-3 py-2.5 text-small",
        tone === "danger"
          ? "border-destructive/25 bg-destructive/8 text-danger-fg"
          : "border-brand/20 bg-accent/70 text-info-fg",
      )}
    >
      {children}
    </div>
  );
}

/** The tray pop-up window's view (route "/tray"). */
export function TrayPopup({ state }: { state: Snapshot }) {
  const uz = window.uz;
  const wrapperRef = useRef<HTMLDivElement>(null);
  const cardRef = useRef<HTMLElement>(null);
  const [installing, setInstalling] = useState(false);
  const [failed, setFailed] = useState(false);
  // Bumped at each opening; the focus moves once the opened pop-up has rendered.
  const [openings, setOpenings] = useState(0);

  const view = popupView(state);
  const { settings, currentApp, update } = state;

  // The native side sizes the window to the card and its 8 px margin.
  useLayoutEffect(() => {
    const wrapper = wrapperRef.current;
    if (!wrapper) return;
    let sent = -1;
    const fit = () => {
      const height = Math.ceil(wrapper.getBoundingClientRect().height);
      if (height === sent) return;
      sent = height;
      uz?.fitPopup(height).catch(() => {});
    };
    fit();
    if (typeof ResizeObserver === "undefined") return;
    const observer = new ResizeObserver(fit);
    observer.observe(wrapper);
    return () => observer.disconnect();
  }, [uz]);

  // The window is reused between openings: each one starts afresh.
  useEffect(() => {
    return uz?.onPopupShown(() => {
      setInstalling(false);
      setFailed(false);
      setOpenings((n) => n + 1);
    });
  }, [uz]);

  useEffect(() => focusFirst(cardRef.current), [openings]);

  useEffect(() => {
    const onKey = (event: KeyboardEvent) => {
      if (event.key === "Escape") uz?.closePopup().catch(() => {});
    };
    window.addEventListener("keydown", onKey);
    return () => window.removeEventListener("keydown", onKey);
  }, [uz]);

  const showMain = (route: string) => void uz?.showMain(route).catch(() => {});

  const install = async () => {
    setInstalling(true);
    setFailed(false);
    let ok = false;
    try {
      ok = (await uz?.installUpdate())?.ok === true;
    } catch {
      ok = false;
    }
    if (!ok) {
      setInstalling(false);
      setFailed(true);
    }
  };

  const locked = view.kill || view.hookDown;
  const updateReady = update.phase === "ready" && update.latest;

  return (
    <div ref={wrapperRef} className="p-2 select-none">
      <section
        ref={cardRef}
        role="dialog"
        aria-label="Harvel"
        className="glass flex flex-col gap-3 rounded-card p-4 text-card-foreground"
      >
        <header className="flex items-center gap-3">
          <div
            aria-hidden
            data-testid="popup-tile"
            data-tone={view.tile.tone}
            className={cn(
              "grid size-8 shrink-0 place-items-center rounded-lg text-small font-bold",
              TILE_TONES[view.tile.tone],
            )}
          >
            {view.tile.text}
          </div>
          <div className="min-w-0 flex-1">
            <h1 className="text-body-sm leading-snug font-semibold">{view.title}</h1>
            <p className="text-caption text-muted-foreground">{view.subtitle}</p>
          </div>
          <Switch
            checked={view.active}
            disabled={locked}
            aria-label={view.active ? "Harvel’ni o‘chirish" : "Harvel’ni yoqish"}
            onCheckedChange={(on) => void uz?.setEnabled(on).catch(() => {})}
          />
        </header>

        {view.kill && (
          <PopupBanner tone="danger">
            {state.killSwitch.message || "Yozish vaqtincha o‘zgartirilmaydi. Yozganingiz o‘zgarmaydi."}
          </PopupBanner>
        )}

        {view.hookDown ? (
          <>
            <PopupBanner tone="danger">
              <span className="flex gap-2">
                <OctagonAlert aria-hidden className="mt-px size-4 shrink-0" strokeWidth={2.25} />
                Yozish vaqtincha o‘zgartirilmaydi. Odatda bir necha soniyada tiklanadi.
              </span>
            </PopupBanner>
            <div className="grid grid-cols-2 gap-2">
              <Button variant="secondary" size="sm" className="text-brand" onClick={() => void uz?.retryHook().catch(() => {})}>
                <RotateCcw />
                Qayta urinish
              </Button>
              <Button variant="secondary" size="sm" onClick={() => showMain("/settings")}>
                <Settings />
                Sozlamalar
              </Button>
            </div>
          </>
        ) : (
          <>
            <div className={cn("transition-opacity", !view.active && "opacity-55")}>
              {/* Arrow keys only move the focus; each choice sends one command. */}
              <Tabs
                value={settings.mode}
                activationMode="manual"
                onValueChange={(mode) => void uz?.setMode(mode as ModeName).catch(() => {})}
              >
                <TabsList aria-label="Umumiy rejim" className="flex w-full">
                  {TAB_ORDER.map((mode) => (
                    <TabsTrigger key={mode} value={mode} disabled={!view.active} className="h-7 flex-auto px-1.5 text-small">
                      {MODES[mode].label}
                    </TabsTrigger>
                  ))}
                </TabsList>
              </Tabs>
            </div>

            {currentApp && (
              <div className="rounded-control bg-secondary px-3 py-2.5 ring-1 ring-border/70 ring-inset">
                <div className="flex items-start gap-2.5">
                  {currentApp.icon ? (
                    <img src={currentApp.icon} alt="" className="mt-0.5 size-5 shrink-0 rounded" />
                  ) : (
                    <AppWindow aria-hidden className="mt-0.5 size-5 shrink-0 text-muted-foreground" strokeWidth={1.75} />
                  )}
                  <div className="min-w-0 flex-1">
                    <p data-testid="popup-app-line" className="text-small break-words">
                      <span className="text-muted-foreground">Hozir: </span>
                      <span className="font-semibold">{currentApp.name}</span>
                      <span className="text-muted-foreground"> — </span>
                      <span className="font-medium">{ruleLabel(view.effective)}</span>
                    </p>
                    <StatusBadge tone={view.rule ? "brand" : "grey"} className="mt-1">
                      {view.rule ? "Shu dastur uchun" : "Umumiy"}
                    </StatusBadge>
                  </div>
                </div>
                {view.rule && (
                  <div className="mt-2.5 flex flex-wrap gap-1.5 pl-[30px]">
                    <Button variant="ghost" size="sm" className={ruleButton} onClick={() => showMain("/apps")}>
                      Qoidani o‘zgartirish
                    </Button>
                    <Button
                      variant="ghost"
                      size="sm"
                      className={ruleButton}
                      onClick={() => void uz?.setAppMode(currentApp.exe, null, null).catch(() => {})}
                    >
                      Umumiyga qaytarish
                    </Button>
                  </div>
                )}
              </div>
            )}

            {updateReady && (
              <PopupBanner tone="info">
                <div className="flex items-center gap-3">
                  <Download aria-hidden className="size-4 shrink-0 text-brand" strokeWidth={2.25} />
                  <div className="min-w-0 flex-1">
                    <p className="font-semibold text-foreground">Yangilanish tayyor</p>
                    <p>{update.latest} versiyasi yuklab olindi.</p>
                  </div>
                  <Button size="sm" disabled={installing} onClick={() => void install()}>
                    O‘rnatish
                  </Button>
                </div>
                {failed && (
                  <p role="alert" className="mt-2 border-t border-brand/15 pt-2 font-medium text-danger-fg">
                    O‘rnatib bo‘lmadi. Sozlamalardan qayta urinib ko‘ring.
                  </p>
                )}
              </PopupBanner>
            )}

            <div className="grid grid-cols-2 gap-2 border-t border-border pt-3">
              <Button variant="ghost" size="sm" onClick={() => showMain("/lab")}>
                <Keyboard />
                Mashq
              </Button>
              <Button variant="ghost" size="sm" onClick={() => showMain("/settings")}>
                <Settings />
                Sozlamalar
              </Button>
            </div>
          </>
        )}
      </section>
    </div>
  );
}
