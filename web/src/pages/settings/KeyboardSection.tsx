import { useState } from "react";
import { ConfirmDialog } from "../../components/ui/AlertDialog";
import { StatusBadge } from "../../components/ui/Badge";
import { Banner } from "../../components/ui/Banner";
import { Button } from "../../components/ui/Button";
import { layoutPaused } from "../../lib/derived";
import type { Snapshot } from "../../lib/types";
import { ExtraKeyProbe } from "./ExtraKeyProbe";
import { HotkeyRecorder } from "./HotkeyRecorder";
import { SettingRow, SettingsCard } from "./SettingRow";

const RESET_TEXT = "Rejim, tez tugma va dasturlar boshlang‘ich holatga qaytadi.";

/** The layout's status and what it means for the modes. */
export function layoutLine(state: Snapshot): { hint: string; badge: string; tone: "green" | "red" } {
  const { name, reason, compatible } = state.layout;
  if (layoutPaused(state)) {
    return {
      hint: `Hozir: ${name}. Fast/Hybrid pauzada${reason ? `: ${reason}` : ""}. Win+Space bilan English (US) yoki O‘zbek (lotin) tartibiga o‘ting.`,
      badge: "Pauzada",
      tone: "red",
    };
  }
  return compatible
    ? { hint: `Hozir: ${name}. W C S O G harflari mos: Fast/Hybrid faol.`, badge: "Faol", tone: "green" }
    : { hint: `Hozir: ${name}. Joriy rejimga ta’sir qilmaydi (Zero-learning / English).`, badge: "Ta’sir yo‘q", tone: "green" };
}

/** Keyboard layout, the on/off shortcut, the extra-key probe and the reset to defaults. */
export function KeyboardSection({ state }: { state: Snapshot }) {
  const [confirmReset, setConfirmReset] = useState(false);
  const layout = layoutLine(state);

  return (
    <SettingsCard heading="Klaviatura">
      <SettingRow
        title="Klaviatura tartibi"
        hint={layout.hint}
        control={<StatusBadge tone={layout.tone}>{layout.badge}</StatusBadge>}
      />
      <SettingRow
        title="Tez o‘chirish tugmasi"
        hint="Istalgan dasturda yoqadi yoki o‘chiradi."
        control={<HotkeyRecorder value={state.settings.hotkey} />}
      >
        {!state.hotkeyOk && (
          <Banner tone="warning" className="mt-3">
            Tez tugma hozir band. Boshqasini tanlang.
          </Banner>
        )}
      </SettingRow>
      <ExtraKeyProbe hybridKey={state.settings.hybridKey} />
      <SettingRow
        title="Standart sozlamalar"
        hint={RESET_TEXT}
        control={
          <Button variant="destructive" size="sm" onClick={() => setConfirmReset(true)}>
            Standartga qaytarish
          </Button>
        }
      />
      <ConfirmDialog
        open={confirmReset}
        onOpenChange={setConfirmReset}
        destructive
        title="Sozlamalarni standartga qaytarasizmi?"
        description={RESET_TEXT}
        confirmLabel="Qaytarish"
        cancelLabel="Bekor qilish"
        onConfirm={() => void window.uz?.resetDefaults().catch(() => {})}
      />
    </SettingsCard>
  );
}
