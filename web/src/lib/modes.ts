import type { ModeName, RuleMode } from "./types";

export interface ModeInfo {
  label: string;
  /** One or two letters for small tiles. */
  short: string;
}

export const MODES: Record<ModeName, ModeInfo> = {
  english: { label: "English", short: "EN" },
  fast: { label: "Fast", short: "F" },
  hybrid: { label: "Hybrid", short: "H" },
  zero: { label: "Zero-learning", short: "Z" },
};

/** The label of an application rule's value; "off" switches conversion off. */
export const OFF_LABEL = "O‘chiq";

export function ruleLabel(mode: RuleMode): string {
  return mode === "off" ? OFF_LABEL : MODES[mode].label;
}
