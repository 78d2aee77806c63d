import { useEffect } from "react";
import type { Snapshot } from "../lib/types";

/**
 * The main window's debug overlay. It asks the native side once whether debug mode
 * is on; this program's answer is always false, so it shows nothing.
 */
export function DebugOverlay(_props: { state: Snapshot }) {
  useEffect(() => {
    window.uz?.debugMode().catch(() => {});
  }, []);
  return null;
}
