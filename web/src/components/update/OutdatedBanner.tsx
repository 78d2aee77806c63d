import { downloadPageUrl, selfUpdatePossible } from "../../lib/derived";
import type { Snapshot } from "../../lib/types";
import { Banner } from "../ui/Banner";
import { Button } from "../ui/Button";
import { InstallButton } from "./InstallButton";

/** Stays while the running version is below the supported minimum. */
export function OutdatedBanner({ state }: { state: Snapshot }) {
  const { update } = state;
  if (!update.outdated) return null;
  return (
    <Banner
      tone="warning"
      title="Versiyangiz eskirgan, yangilang"
      action={<OutdatedAction state={state} />}
    >
      {state.version} endi qo‘llab-quvvatlanmaydi. Yozish bloklanmaydi, lekin yangilash zarur. Banner
      yangilangunga qadar turadi.
    </Banner>
  );
}

function OutdatedAction({ state }: { state: Snapshot }) {
  const { phase } = state.update;
  const uz = window.uz;
  const self = selfUpdatePossible(state);
  if (self && phase === "ready") return <InstallButton size="sm" label="Yangilash" />;
  if (self && (phase === "downloading" || phase === "checking")) {
    return (
      <Button size="sm" disabled>
        Yuklanmoqda…
      </Button>
    );
  }
  const onClick = () => {
    const sent =
      self && phase === "available"
        ? uz?.downloadUpdate()
        : self && phase !== "error"
          ? uz?.checkUpdate()
          : uz?.openExternal(downloadPageUrl(state));
    sent?.catch(() => {});
  };
  return (
    <Button size="sm" onClick={onClick}>
      Yangilash
    </Button>
  );
}
