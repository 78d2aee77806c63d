import { useCallback, useState } from "react";
import { useNavigate } from "react-router";
import { PageHeader } from "../components/PageHeader";
import { Banner } from "../components/ui/Banner";
import type { Snapshot } from "../lib/types";
import { keySetFromSettings } from "../typing/keys";
import { KeymapPage } from "./KeymapPage";
import { labNotice } from "./lab/labView";
import { TypingTest, type PhaseInfo } from "./lab/TypingTest";

const ignore = () => {};

function heading({ phase, duration, early }: PhaseInfo): { title: string; subtitle: string } {
  if (phase === "run") return { title: `Mashq · ${duration} soniya`, subtitle: "Yozishda davom eting." };
  if (phase === "result") {
    return { title: "Natija", subtitle: early ? "Mashq to‘xtatildi." : `${duration} soniyalik mashq tugadi.` };
  }
  return { title: "Mashq", subtitle: "30 yoki 60 soniyada yozing, tezlik va aniqligingizni ko‘ring." };
}

/** The typing exercise, with the key map under it whenever no run is in progress. */
export function LabPage({ state }: { state: Snapshot }) {
  const navigate = useNavigate();
  const [info, setInfo] = useState<PhaseInfo>({ phase: "select", duration: 30, early: false });
  const onPhaseChange = useCallback((next: PhaseInfo) => setInfo(next), []);
  const notice = labNotice(state);
  const uz = window.uz;

  const enable = () => {
    if (!uz || !notice) return;
    const sent =
      notice.action === "mode" ? uz.setMode("hybrid") : notice.action === "enable" ? uz.setEnabled(true) : uz.retryHook();
    sent.catch(ignore);
  };

  const { title, subtitle } = heading(info);
  return (
    <div className="mx-auto flex max-w-[52rem] flex-col gap-4">
      <PageHeader eyebrow="Mashq" title={title} subtitle={subtitle} className="mb-2" />
      {state.killSwitch.active && (
        <Banner tone="warning" title="Harvel vaqtincha o‘chirilgan">
          Bu sizning sozlamangiz emas. Xizmat qayta yoqilgach o‘zi ishlaydi.
        </Banner>
      )}
      <TypingTest
        mode={state.settings.mode}
        keys={keySetFromSettings(state.settings)}
        disabledReason={notice?.text}
        onEnable={notice?.action ? enable : undefined}
        onExit={() => navigate("/")}
        onPhaseChange={onPhaseChange}
      />
      {info.phase !== "run" && (
        <div className="mt-2">
          <KeymapPage state={state} embedded />
        </div>
      )}
    </div>
  );
}
