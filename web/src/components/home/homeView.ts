import { layoutPaused } from "../../lib/derived";
import { MODES, ruleLabel } from "../../lib/modes";
import type { ModeName, RuleMode, Snapshot } from "../../lib/types";
import type { BadgeTone } from "../ui/Badge";

/** What the home page shows for a Snapshot; a pure function of it. */
export interface HomeView {
  kill: boolean;
  hookDown: boolean;
  /** Fast/Hybrid are paused by the keyboard layout (not shown while remotely disabled). */
  layoutPause: boolean;
  /** The foreground program's rule is the one in force. */
  ruleView: boolean;
  /** The mode and practice cards are faded: nothing is converted now. */
  dim: boolean;
  /** What is in force in the foreground program. */
  effective: RuleMode;
  /** The mode the tabs show. */
  tab: RuleMode;
  legendMode: RuleMode;
  /** The mode the quick test box runs. */
  practiceMode: ModeName;
  status: { badge: string; tone: BadgeTone; title: string; note: string; subtitle: string | null };
}

export function homeView(state: Snapshot): HomeView {
  const { settings } = state;
  const { enabled, mode } = settings;
  const kill = state.killSwitch.active;
  const hookDown = enabled && !kill && mode !== "english" && state.hook === "error";
  const app = state.currentApp;
  const rule = app?.mode ?? null;
  const appLine = enabled && !kill && app !== null;
  const ruleView = appLine && rule !== null;
  const dim = !enabled || kill || hookDown;
  const effective: RuleMode = !enabled || kill ? "off" : (rule ?? mode);
  const legendMode: RuleMode = effective === "off" && !dim ? "off" : ruleView ? effective : mode;

  return {
    kill,
    hookDown,
    layoutPause: layoutPaused(state) && !kill,
    ruleView,
    dim,
    effective,
    tab: ruleView && rule ? rule : enabled ? mode : "off",
    legendMode,
    practiceMode: effective === "off" ? "english" : effective,
    status: status(),
  };

  function status(): HomeView["status"] {
    if (kill) {
      return {
        badge: "Vaqtincha o‘chirilgan",
        tone: "amber",
        title: "Harvel vaqtincha o‘chirilgan",
        note: "Xizmat tomonidan to‘xtatilgan. Yozganingiz o‘zgarmaydi.",
        subtitle: "Hozircha yoqib bo‘lmaydi.",
      };
    }
    if (!enabled) {
      return {
        badge: "O‘chirilgan",
        tone: "grey",
        title: "Harvel o‘chirilgan",
        note: "Yozganingiz o‘zgarmaydi. Qayta yoqish uchun tugmani bosing.",
        subtitle: "Harvel hozir o‘chirilgan.",
      };
    }
    if (hookDown) {
      return { badge: "To‘xtagan", tone: "red", title: "Hozir: kuzatuv to‘xtagan", note: "Harflar almashmayapti.", subtitle: null };
    }
    if (mode === "english") {
      return {
        badge: "English",
        tone: "grey",
        title: "English: oddiy klaviatura",
        note: "Harflar almashmayapti, yozganingiz o‘zgarmaydi.",
        subtitle: null,
      };
    }
    const title = app
      ? `Hozir: ${app.name} — ${ruleLabel(ruleView && rule ? rule : mode)}${ruleView ? " (qoida)" : " (umumiy rejim)"}`
      : "Yoqilgan";
    const note = app
      ? rule
        ? "Bu dastur uchun alohida qoida ishlayapti."
        : "Bu dastur uchun qoida yo‘q, umumiy rejim ishlayapti."
      : "Yoqilgan. Istalgan dasturda yozing.";
    return { badge: "Yoqilgan", tone: "green", title, note, subtitle: null };
  }
}

/** The mode tabs of the home page, in order. */
export const MODE_TABS: { value: RuleMode; label: string }[] = [
  { value: "fast", label: MODES.fast.label },
  { value: "hybrid", label: MODES.hybrid.label },
  { value: "zero", label: MODES.zero.label },
  { value: "english", label: MODES.english.label },
  { value: "off", label: ruleLabel("off") },
];
