import { useEffect, useRef } from "react";
import type { Snapshot } from "../lib/types";

/**
 * The main window's debug overlay. It asks the native side once whether debug mode
 * is on; this program's answer is always false, so it shows nothing.
 */
export function DebugOverlay(_props: { state: Snapshot }) {
  // Once per mount, also when development mode runs effects twice.
  const asked = useRef(false);
  useEffect(() => {
    if (asked.current) return;
    asked.current = true;
    window.uz?.debugMode().catch(() => {});
  }, []);
  return null;
}
