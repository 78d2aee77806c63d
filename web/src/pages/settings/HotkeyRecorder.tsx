import { useEffect, useRef, useState } from "react";
import { StatusBadge } from "../../components/ui/Badge";
import { Button } from "../../components/ui/Button";
import { KeyCap } from "../../components/ui/KeyCap";
import { acceleratorParts, recordKey } from "./hotkey";

const NEEDS_MODIFIER = "Kamida bitta Ctrl, Alt yoki Shift kerak.";
const BUSY = "Bu tugma band. Boshqasini tanlang.";

interface HotkeyRecorderProps {
  value: string;
  onSaved?: (accelerator: string) => void;
}

/** Shows the on/off shortcut and records a new one from the next key press. */
export function HotkeyRecorder({ value, onSaved }: HotkeyRecorderProps) {
  const [recording, setRecording] = useState(false);
  const [error, setError] = useState<string | null>(null);
  const saving = useRef(false);
  const onSavedRef = useRef(onSaved);
  onSavedRef.current = onSaved;

  useEffect(() => {
    if (!recording) return;
    let live = true;

    const save = async (accelerator: string) => {
      saving.current = true;
      let reason: string | undefined;
      let ok = false;
      try {
        const outcome = await window.uz?.setHotkey(accelerator);
        ok = outcome?.ok ?? false;
        reason = outcome?.reason;
      } catch {
        ok = false;
      }
      saving.current = false;
      if (!live) return;
      if (ok) {
        setRecording(false);
        setError(null);
        onSavedRef.current?.(accelerator);
      } else {
        setError(reason === "busy" ? BUSY : NEEDS_MODIFIER);
      }
    };

    // Captured before anything else on the page sees the key.
    const onKeyDown = (e: KeyboardEvent) => {
      e.preventDefault();
      e.stopPropagation();
      if (saving.current) return;
      const result = recordKey(e);
      switch (result.kind) {
        case "cancel":
          setRecording(false);
          setError(null);
          return;
        case "ignore":
          return;
        case "refused":
          setError(NEEDS_MODIFIER);
          return;
        case "accelerator":
          void save(result.accelerator);
      }
    };
    window.addEventListener("keydown", onKeyDown, true);
    return () => {
      live = false;
      window.removeEventListener("keydown", onKeyDown, true);
    };
  }, [recording]);

  const toggle = () => {
    setRecording((now) => !now);
    setError(null);
  };

  return (
    <div className="flex flex-col items-start gap-2 sm:items-end">
      <div className="flex flex-wrap items-center gap-3">
        {recording ? (
          <StatusBadge tone="brand" className="animate-pulse">
            Yangi birikmani bosing… (Esc: bekor qilish)
          </StatusBadge>
        ) : (
          <span data-testid="hotkey" className="inline-flex items-center gap-1 text-body-sm text-muted-foreground">
            {acceleratorParts(value).map((part, i) => (
              <span key={i} className="inline-flex items-center gap-1">
                {i > 0 && <span aria-hidden>+</span>}
                <KeyCap className="px-2 py-0.5 text-[0.85em]">{part}</KeyCap>
              </span>
            ))}
          </span>
        )}
        <Button variant={recording ? "secondary" : "outline"} size="sm" onClick={toggle}>
          {recording ? "Bekor qilish" : "O‘zgartirish"}
        </Button>
      </div>
      {error && (
        <p role="alert" className="text-small font-medium text-danger-fg">
          {error}
        </p>
      )}
    </div>
  );
}
