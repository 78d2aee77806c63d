import { downloadPageUrl, selfUpdatePossible } from "../../lib/derived";
import type { Snapshot } from "../../lib/types";
import { Banner } from "../ui/Banner";
import { Button } from "../ui/Button";
import { Progress } from "../ui/Progress";
import { InstallButton } from "./InstallButton";
import { dismissReady, useUpdateFlags } from "./updateFlags";

const ignore = () => {};

/** Joins the parts with single spaces, leaving out a missing version. */
const words = (...parts: (string | null)[]) => parts.filter(Boolean).join(" ");

/** The updater's notice on the home page: the first case that holds, or nothing. */
export function UpdateBanner({ state }: { state: Snapshot }) {
  const { installing, dismissedReady } = useUpdateFlags();
  const { update } = state;
  const { phase, latest } = update;
  const uz = window.uz;
  const self = selfUpdatePossible(state);

  if (installing) {
    return <InstallingBanner latest={latest} />;
  }
  if (phase === "downloading") {
    return (
      <Banner
        tone="info"
        title={words("Yangi versiya", latest, "yuklanmoqda…")}
        action={
          <Button size="sm" variant="secondary" onClick={() => uz?.cancelUpdate()}>
            Bekor qilish
          </Button>
        }
      >
        <div className="mt-1.5 flex items-center gap-3">
          <Progress value={update.pct} aria-label="Yuklash jarayoni" className="max-w-72" />
          <span className="font-mono text-caption tabular-nums">{update.pct}%</span>
        </div>
      </Banner>
    );
  }
  if (phase === "ready" && latest && !(update.outdated && self)) {
    if (latest === dismissedReady) return null;
    return (
      <Banner
        tone="success"
        title={`Yangilash tayyor: Harvel ${latest}`}
        action={
          <>
            <Button size="sm" variant="ghost" onClick={() => dismissReady(latest)}>
              Keyinroq
            </Button>
            <InstallButton size="sm" />
          </>
        }
      >
        Tekshirildi. Qulay vaqtda o‘rnating, Harvel o‘zi yopilmaydi.
      </Banner>
    );
  }
  if (phase === "available" && latest && !update.outdated) {
    const text = update.portable
      ? "Bu nusxa o‘zi yangilanmaydi."
      : update.sigConfigured
        ? "Fonda yuklanmadi."
        : "Yangilanish imzosi sozlanmagan, o‘zi o‘rnatilmaydi.";
    const download = () =>
      (self ? uz?.downloadUpdate() : uz?.openExternal(downloadPageUrl(state)))?.catch(ignore);
    return (
      <Banner
        tone={!update.portable && !update.sigConfigured ? "warning" : "info"}
        title={`Yangi versiya ${latest} bor`}
        action={
          <Button size="sm" onClick={download}>
            Yuklab olish
          </Button>
        }
      >
        {text}
      </Banner>
    );
  }
  if (phase === "error" && update.error === "integrity") {
    return (
      <Banner tone="danger" title="O‘rnatilmadi">
        {words("Yangi versiya", latest, "tekshiruvdan o‘tmadi.")} Hozirgi versiya
        ishlayveradi. Tafsilot: Sozlamalar → Yangilanish.
      </Banner>
    );
  }
  return null;
}

/** Shown while the installer is starting; the settings page shows it too. */
export function InstallingBanner({ latest }: { latest: string | null }) {
  return (
    <Banner tone="info" busy title="O‘rnatuvchi ishga tushmoqda">
      {words("Harvel hozir yopiladi va", latest, "o‘rnatiladi.")} Tugagach ilova qayta
      ochiladi.
    </Banner>
  );
}
