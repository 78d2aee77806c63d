import { useEffect, useRef, useState, type KeyboardEvent } from "react";
import { StatusBadge } from "../../components/ui/Badge";
import { Banner } from "../../components/ui/Banner";
import { Button } from "../../components/ui/Button";
import { extraKeyById } from "../../typing/keys";
import { SettingRow } from "./SettingRow";

/** How long the probe waits for the key. */
export const PROBE_TIMEOUT_MS = 10_000;

type Result = "idle" | "found" | "timedOut";

/** Lets the user check that this keyboard has the extra key: press "Tekshirish", then the key. */
export function ExtraKeyProbe({ hybridKey }: { hybridKey: string }) {
  const extra = extraKeyById(hybridKey);
  const [text, setText] = useState("");
  const [listening, setListening] = useState(false);
  const [result, setResult] = useState<Result>("idle");
  const timer = useRef<ReturnType<typeof setTimeout> | undefined>(undefined);
  const field = useRef<HTMLInputElement>(null);

  const stopTimer = () => {
    clearTimeout(timer.current);
    timer.current = undefined;
  };
  useEffect(() => stopTimer, []);

  const start = () => {
    setText("");
    setResult("idle");
    setListening(true);
    stopTimer();
    timer.current = setTimeout(() => {
      timer.current = undefined;
      setListening(false);
      setResult((now) => (now === "idle" ? "timedOut" : now));
    }, PROBE_TIMEOUT_MS);
    field.current?.focus();
  };

  const onKeyDown = (e: KeyboardEvent<HTMLInputElement>) => {
    if (!listening || e.code !== extra.code) return;
    // The key has done its job; it should not also toggle Caps Lock or open a menu here.
    e.preventDefault();
    stopTimer();
    setListening(false);
    setResult("found");
  };

  return (
    <SettingRow
      id="probe-title"
      title={`${extra.caption} tekshiruvi`}
      hint={`Shu klaviaturada ${extra.caption} tugmasi bormi? «Tekshirish»ni bosing va tugmani bosing.`}
      control={
        <>
          <input
            ref={field}
            value={text}
            onChange={(e) => setText(e.target.value)}
            onKeyDown={onKeyDown}
            placeholder="…"
            aria-labelledby="probe-title"
            className="h-8 w-32 rounded-control border border-input bg-card px-3 text-body-sm outline-none placeholder:text-muted-foreground focus-visible:border-brand focus-visible:ring-3 focus-visible:ring-ring/20"
          />
          <Button variant="outline" size="sm" onClick={start}>
            Tekshirish
          </Button>
        </>
      }
    >
      {(listening || result !== "idle") && (
        <div className="mt-3" data-testid="probe-result">
          {listening && (
            <p aria-live="polite" className="text-small font-medium text-brand-ink">
              {extra.caption} ni bosing…
            </p>
          )}
          {result === "found" && <StatusBadge tone="green">Tugma topildi</StatusBadge>}
          {result === "timedOut" && <Banner tone="warning">Tugma bosilmadi.</Banner>}
        </div>
      )}
    </SettingRow>
  );
}
