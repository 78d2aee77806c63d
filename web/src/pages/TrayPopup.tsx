import type { Snapshot } from "../lib/types";

/** The tray pop-up window's view (route "/tray"). */
export function TrayPopup(_props: { state: Snapshot }) {
  return (
    <div className="p-2">
      <section role="dialog" aria-label="Harvel" className="glass rounded-card p-4">
        <h1 className="text-subheading font-semibold">Harvel</h1>
      </section>
    </div>
  );
}
