import {
  CircleCheck,
  CircleX,
  Download,
  LoaderCircle,
  OctagonExclamationPoint,
  ShieldCheck,
  TriangleAlert,
  type LucideIcon,
} from "lucide-react";
import { toast } from "sonner";
import { StatusBadge, type BadgeTone } from "../../components/ui/Badge";
import { Button } from "../../components/ui/Button";
import { Card } from "../../components/ui/Card";
import { Progress } from "../../components/ui/Progress";
import { InstallButton } from "../../components/update/InstallButton";
import { OutdatedBanner } from "../../components/update/OutdatedBanner";
import { InstallingBanner } from "../../components/update/UpdateBanner";
import { dismissReady, useUpdateFlags } from "../../components/update/updateFlags";
import { downloadPageUrl } from "../../lib/derived";
import type { Snapshot } from "../../lib/types";
import { cn } from "../../lib/utils";
import { updateCard, type CardAction, type CardTone } from "./updateCard";

const ignore = () => {};

const TONES: Record<CardTone, { badge: BadgeTone; icon: LucideIcon; look: string }> = {
  pending: { badge: "amber", icon: LoaderCircle, look: "bg-warning/12 text-warning" },
  success: { badge: "green", icon: CircleCheck, look: "bg-success/12 text-success" },
  danger: { badge: "red", icon: OctagonExclamationPoint, look: "bg-destructive/10 text-destructive" },
  info: { badge: "green", icon: Download, look: "bg-accent text-brand" },
  warning: { badge: "amber", icon: TriangleAlert, look: "bg-warning/12 text-warning" },
};

const FACTS = [
  { caption: "Tekshiruv", line: "Jimgina, fonda", text: "Ishga tushganda va muntazam" },
  { caption: "Yuboriladi", line: "Oddiy so‘rov, hisobsiz", text: "Yozgan matningiz serverga ketmaydi" },
  { caption: "Tekshiriladi", line: "SHA-256 va ed25519 imzo", text: "Ikkalasi majburiy, aks holda o‘rnatilmaydi" },
];

/** The updater's state with the one action that fits it, and what an update does and does not do. */
export function UpdateTab({ state }: { state: Snapshot }) {
  const { installing } = useUpdateFlags();
  const model = updateCard(state);
  const uz = window.uz;
  const { latest } = state.update;
  const guide = `${state.settings.siteUrl}/qollanma`;

  const action = (id: CardAction) => {
    switch (id) {
      case "check":
      case "checking":
        return (
          <Button key={id} size="sm" disabled={id === "checking"} onClick={() => uz?.checkUpdate().catch(ignore)}>
            Hozir tekshirish
          </Button>
        );
      case "retry":
        return (
          <Button key={id} size="sm" onClick={() => uz?.checkUpdate().catch(ignore)}>
            Qayta urinish
          </Button>
        );
      case "redownload":
        return (
          <Button key={id} size="sm" onClick={() => uz?.downloadUpdate().catch(ignore)}>
            Qayta yuklab olish
          </Button>
        );
      case "download":
        return (
          <Button key={id} size="sm" onClick={() => uz?.downloadUpdate().catch(ignore)}>
            Yuklab olish
          </Button>
        );
      case "guide":
        return (
          <Button key={id} size="sm" variant="outline" onClick={() => uz?.openExternal(guide).catch(ignore)}>
            Qo‘llanmaga o‘tish
          </Button>
        );
      case "downloadPage":
        return (
          <Button
            key={id}
            size="sm"
            onClick={() => uz?.openExternal(downloadPageUrl(state)).catch(ignore)}
          >
            Yuklab olish sahifasi
          </Button>
        );
      case "later":
        return (
          <Button key={id} size="sm" variant="ghost" onClick={() => latest && dismissReady(latest)}>
            Keyinroq
          </Button>
        );
      case "laterReady":
        return (
          <Button
            key={id}
            size="sm"
            variant="ghost"
            onClick={() => {
              if (latest) dismissReady(latest);
              toast("Asosiydagi banner yashirildi. Yangilash shu yerda tayyor turadi.");
            }}
          >
            Keyinroq
          </Button>
        );
      case "cancel":
        return (
          <Button key={id} size="sm" variant="secondary" onClick={() => uz?.cancelUpdate()}>
            Bekor qilish
          </Button>
        );
      case "install":
        return <InstallButton key={id} size="sm" />;
    }
  };

  const tone = model && TONES[model.tone];
  const Icon = tone?.icon;

  return (
    <div className="flex flex-col gap-4">
      <OutdatedBanner state={state} />

      {model && tone && Icon && (
        <Card data-testid="update-card" data-tone={model.tone} className="flex gap-5 p-6">
          <div aria-hidden className={cn("grid size-12 shrink-0 place-items-center rounded-2xl", tone.look)}>
            <Icon className={cn("size-6", model.tone === "pending" && "animate-spin")} strokeWidth={1.9} />
          </div>
          <div className="min-w-0 flex-1">
            <StatusBadge tone={tone.badge}>{model.tag}</StatusBadge>
            <p data-card-title className="mt-2 text-subheading font-semibold text-balance">
              {model.title}
            </p>
            <p data-card-body className="mt-1 text-body-sm text-muted-foreground">
              {model.body}
            </p>
            {model.progress !== undefined && (
              <div className="mt-4 flex items-center gap-3">
                <Progress value={model.progress} aria-label="Yuklash jarayoni" className="max-w-80" />
                <span className="font-mono text-caption tabular-nums">{model.progress}%</span>
              </div>
            )}
            {model.checks.length > 0 && (
              <ul className="mt-4 flex flex-col gap-1.5">
                {model.checks.map((line) => (
                  <li key={line.label} data-check className="flex items-center gap-2 text-small">
                    {line.ok ? (
                      <CircleCheck aria-hidden className="size-4 text-success" strokeWidth={2.25} />
                    ) : (
                      <CircleX aria-hidden className="size-4 text-destructive" strokeWidth={2.25} />
                    )}
                    <span className="text-foreground">{line.label}</span>
                    <span aria-hidden className="text-muted-foreground">
                      —
                    </span>
                    <span className={cn("font-semibold", line.ok ? "text-success-fg" : "text-danger-fg")}>
                      {line.value}
                    </span>
                  </li>
                ))}
              </ul>
            )}
            {model.actions.length > 0 && (
              <div className="mt-5 flex flex-wrap gap-2">{model.actions.map(action)}</div>
            )}
          </div>
        </Card>
      )}
      {model?.actions.includes("install") && installing && <InstallingBanner latest={latest} />}

      <Card className="grid grid-cols-1 divide-y divide-border sm:grid-cols-3 sm:divide-x sm:divide-y-0">
        {FACTS.map((fact) => (
          <div key={fact.caption} data-fact className="px-5 py-4">
            <p className="text-caption font-semibold tracking-wider text-brand-ink uppercase">{fact.caption}</p>
            <p className="mt-1 text-body-sm font-semibold">{fact.line}</p>
            <p className="mt-0.5 text-small text-muted-foreground">{fact.text}</p>
          </div>
        ))}
      </Card>

      <p className="flex items-start gap-2 px-1 text-small text-muted-foreground">
        <ShieldCheck aria-hidden className="mt-0.5 size-4 shrink-0 text-brand" strokeWidth={2} />
        Yangilash faqat siz bosganingizda o‘rnatiladi: yozayotganingizda Harvel o‘zi yopilmaydi.
      </p>
    </div>
  );
}
