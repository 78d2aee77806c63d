import { useNavigate } from "react-router";
import { AdCardView } from "../components/AdCardView";
import { homeView, MODE_TABS } from "../components/home/homeView";
import { Legend } from "../components/home/Legend";
import { PageHeader } from "../components/PageHeader";
import { Banner } from "../components/ui/Banner";
import { StatusBadge } from "../components/ui/Badge";
import { Button } from "../components/ui/Button";
import { Card } from "../components/ui/Card";
import { KeyCap } from "../components/ui/KeyCap";
import { Switch } from "../components/ui/Switch";
import { Tabs, TabsList, TabsTrigger } from "../components/ui/Tabs";
import { OutdatedBanner } from "../components/update/OutdatedBanner";
import { UpdateBanner } from "../components/update/UpdateBanner";
import { Keyboard, OctagonExclamationPoint, Pause, Power } from "lucide-react";
import type { BadgeTone } from "../components/ui/Badge";
import type { RuleMode, Snapshot } from "../lib/types";
import { cn } from "../lib/utils";
import { keySetFromSettings } from "../typing/keys";
import { PracticeBox } from "../typing/PracticeBox";

const ignore = () => {};

/** The home page: notices that need attention, the master switch, the mode picker, the legend and a box to try. */
export function HomePage({ state }: { state: Snapshot }) {
  const navigate = useNavigate();
  const view = homeView(state);
  const { settings } = state;
  const keys = keySetFromSettings(settings);
  const uz = window.uz;

  const choose = async (value: string) => {
    if (!uz) return;
    const mode = value as RuleMode;
    try {
      if (mode === "off") {
        await uz.setEnabled(false);
        return;
      }
      const wasOff = !settings.enabled;
      await uz.setMode(mode);
      if (wasOff) await uz.setEnabled(true);
    } catch {
      // A refused command changes nothing; the next Snapshot shows the truth.
    }
  };

  const retry = () => {
    uz?.retryHook().catch(ignore);
  };

  const { status } = view;
  return (
    <div className="mx-auto flex max-w-[52rem] flex-col gap-4">
      <PageHeader
        eyebrow="Asosiy"
        title="Asosiy"
        subtitle={status.subtitle ?? "Yangi harflar ş, ç, ö, ğ — barcha dasturlarda."}
        className="mb-2"
      />

      {view.kill && (
        <Banner tone="warning" title="Harvel vaqtincha o‘chirilgan">
          Bu sizning sozlamangiz emas. Xizmat qayta yoqilgach o‘zi ishlaydi.
          {state.killSwitch.message ? ` ${state.killSwitch.message}` : null}
        </Banner>
      )}
      {view.hookDown && (
        <Banner
          tone="danger"
          title="Klaviatura kuzatuvi ishlamayapti"
          action={
            <Button size="sm" onClick={retry}>
              Qayta ishga tushirish
            </Button>
          }
        >
          Yozganingiz o‘zgarmaydi. Qayta ishga tushirib ko‘ring.
          {state.hookError ? ` ${state.hookError}` : null}
        </Banner>
      )}
      {view.layoutPause && (
        <Banner tone="warning" title={`Fast/Hybrid pauzada · ${state.layout.name}`}>
          {state.layout.reason ? `Sabab: ${state.layout.reason}. ` : null}
          <KeyCap>Win+Space</KeyCap> bilan English (US) yoki O‘zbek (lotin) tartibiga o‘ting. Zero-learning bu
          tartibda ham ishlaydi.
        </Banner>
      )}
      <OutdatedBanner state={state} />
      <UpdateBanner state={state} />
      {!state.hotkeyOk && (
        <Banner
          tone="warning"
          action={
            <Button size="sm" variant="outline" onClick={() => navigate("/settings")}>
              Sozlamalar
            </Button>
          }
        >
          Tez tugma band bo‘lgani uchun ishlamayapti. Boshqasini tanlang.
        </Banner>
      )}

      <Card aria-label="Holat" data-testid="status-card" className="flex items-center gap-5 p-6">
        <StatusGlyph tone={status.tone} />
        <div className="min-w-0 flex-1">
          <StatusBadge tone={status.tone}>
            {status.badge}
          </StatusBadge>
          <p data-status-title className="mt-2 text-[1.375rem] leading-tight font-semibold tracking-[-0.01em] text-balance">
            {status.title}
          </p>
          <p data-status-note className="mt-1 text-body-sm text-muted-foreground">
            {status.note}
          </p>
        </div>
        <Switch
          aria-label="Harvel yoqilgan"
          checked={settings.enabled && !view.kill}
          disabled={view.kill}
          onCheckedChange={(on) => uz?.setEnabled(on).catch(ignore)}
        />
      </Card>

      <Card
        aria-labelledby="mode-heading"
        data-testid="mode-card"
        data-dim={view.dim || undefined}
        className={cn("p-6 transition-opacity", view.dim && "opacity-55")}
      >
        <div className="mb-4 flex flex-wrap items-baseline justify-between gap-x-4 gap-y-1">
          <h2 id="mode-heading" className="text-subheading font-semibold">
            {view.ruleView ? "Shu dastur rejimi" : "Umumiy rejim"}
          </h2>
          <p className="text-small text-muted-foreground">
            {view.ruleView ? "Dasturlar sahifasida o‘zgartiriladi" : "Qoidasi yo‘q dasturlar uchun"}
          </p>
        </div>
        <Tabs value={view.tab} onValueChange={choose} activationMode="manual">
          <TabsList aria-label="Rejim" className="flex w-full">
            {MODE_TABS.map((tab) => (
              <TabsTrigger key={tab.value} value={tab.value} disabled={view.ruleView || view.kill}>
                {tab.label}
              </TabsTrigger>
            ))}
          </TabsList>
        </Tabs>
        <div className="mt-5">
          <Legend mode={view.legendMode} keys={keys} />
        </div>
      </Card>

      <Card
        data-testid="practice-card"
        className={cn("flex items-center gap-4 px-6 py-4 transition-opacity", view.dim && "opacity-55")}
      >
        <span className="shrink-0 text-body-sm font-semibold">Tezkor sinov</span>
        <PracticeBox
          mode={view.practiceMode}
          keys={keys}
          rows={1}
          placeholder="Shu yerga yozib ko‘ring: şahar, çiroq…"
          aria-label="Tezkor sinov"
          disabled={view.dim}
          // One line: Enter has nowhere to go.
          onKeyDown={(e) => e.key === "Enter" && e.preventDefault()}
          className="min-w-0 flex-1"
        />
      </Card>

      {settings.offers && state.ads.home && <AdCardView card={state.ads.home} state={state} variant="banner" />}
    </div>
  );
}

const GLYPHS: Partial<Record<BadgeTone, { icon: typeof Keyboard; look: string }>> = {
  green: { icon: Keyboard, look: "bg-accent text-brand" },
  grey: { icon: Power, look: "bg-secondary text-muted-foreground ring-1 ring-border ring-inset" },
  amber: { icon: Pause, look: "bg-warning/12 text-warning" },
  red: { icon: OctagonExclamationPoint, look: "bg-destructive/10 text-destructive" },
};

/** The large icon at the start of the status card, coloured like its badge. */
function StatusGlyph({ tone }: { tone: BadgeTone }) {
  const glyph = GLYPHS[tone] ?? GLYPHS.grey!;
  const Icon = glyph.icon;
  return (
    <div aria-hidden className={cn("grid size-14 shrink-0 place-items-center rounded-2xl", glyph.look)}>
      <Icon className="size-7" strokeWidth={1.75} />
    </div>
  );
}
