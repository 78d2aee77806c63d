import { layoutPaused } from "../lib/derived";
import { MODES } from "../lib/modes";
import type { Snapshot } from "../lib/types";

export type SummaryTone = "success" | "warning" | "danger" | "muted";

export interface StatusSummary {
  tone: SummaryTone;
  text: string;
  /** The line under it. */
  note: string;
}

/** The sidebar's one-line state of the program: the first condition that holds. */
export function statusSummary(state: Snapshot): StatusSummary {
  const { settings, update } = state;
  const note = update.phase === "ready" && update.latest ? `Yangilash tayyor: ${update.latest}` : "Tray‘da ishlaydi";
  const line = (tone: SummaryTone, text: string) => ({ tone, text, note });

  if (state.killSwitch.active) return line("warning", "Vaqtincha o‘chirilgan");
  if (!settings.enabled) return line("muted", "O‘chirilgan");
  if (state.hook === "error") return line("danger", "Xato");
  if (layoutPaused(state)) return line("warning", `Pauzada · ${state.layout.name}`);
  if (settings.mode === "english") return line("muted", "English · oddiy klaviatura");
  return line("success", `Yoqilgan · ${MODES[settings.mode].label}`);
}
