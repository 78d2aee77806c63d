// Whether the exercise can be used now, and the notice that says why not.

import type { Snapshot } from "../../lib/types";

export type NoticeAction = "enable" | "mode" | "retry" | null;

export interface LabNotice {
  text: string;
  /** What "Yoqish" does: switch conversion on, leave English for a mode that types the new letters, restart the hook; none under the kill switch. */
  action: NoticeAction;
}

export const KILL_NOTICE = "Harvel vaqtincha o‘chirilgan: yangi harflar chiqmaydi.";
export const LOCKED_NOTICE = "Harvel o‘chiq: yangi harflar chiqmaydi. Mashq uchun yoqing.";
export const HOOK_NOTICE = "Klaviatura kuzatuvi ishlamayapti: yangi harflar chiqmaydi.";

/** The exercise types no new letters: conversion off, English, or the kill switch. */
export function labLocked(state: Snapshot): boolean {
  return !state.settings.enabled || state.settings.mode === "english" || state.killSwitch.active;
}

/** The notice above the exercise, first match; null when the exercise can be used. */
export function labNotice(state: Snapshot): LabNotice | null {
  if (state.killSwitch.active) return { text: KILL_NOTICE, action: null };
  // Switching conversion on leaves English as it is; choosing a mode both leaves it and
  // switches conversion on.
  if (labLocked(state)) return { text: LOCKED_NOTICE, action: state.settings.mode === "english" ? "mode" : "enable" };
  if (state.hook === "error") return { text: HOOK_NOTICE, action: "retry" };
  return null;
}
