import type { CSSProperties } from "react";
import { Toaster } from "sonner";

// The page's own short notices: dark pills with white text at the bottom centre,
// the same in both themes (hence the fixed light-theme foreground colour).
const pill = {
  "--normal-bg": "#0e101a",
  "--normal-text": "#fff",
  "--normal-border": "transparent",
  "--border-radius": "9999px",
} as CSSProperties;

export function Notices() {
  return (
    <Toaster
      position="bottom-center"
      theme="light"
      style={pill}
      toastOptions={{ className: "!px-5 !py-3 !font-sans !text-body-sm !shadow-card" }}
    />
  );
}
