import { Component, type ReactNode } from "react";
import { RotateCcw, TriangleExclamationPoint } from "lucide-react";

interface Props {
  children: ReactNode;
}

/**
 * Replaces the main window's shell with the error screen when anything inside it
 * throws while rendering. There is no way back short of restarting the program.
 */
export class ErrorBoundary extends Component<Props, { failed: boolean }> {
  state = { failed: false };

  static getDerivedStateFromError() {
    return { failed: true };
  }

  render() {
    return this.state.failed ? <ErrorScreen /> : this.props.children;
  }
}

export function ErrorScreen() {
  const relaunch = () => {
    window.uz?.relaunch().catch(() => {});
  };
  return (
    <div className="grid h-full place-items-center bg-background p-8">
      <section role="alert" className="glass w-full max-w-lg rounded-card p-8 text-center">
        <div className="mx-auto mb-5 grid size-12 place-items-center rounded-full bg-destructive/10 text-danger-fg">
          <TriangleExclamationPoint className="size-6" strokeWidth={2} />
        </div>
        <h1 className="text-heading font-semibold">Harvel kutilmaganda to‘xtadi</h1>
        <p className="mt-3 text-body text-muted-foreground">
          Hech narsa yo‘qolmadi: sozlamalaringiz saqlangan. Dasturni qayta ishga tushiring.
        </p>
        <button
          type="button"
          onClick={relaunch}
          className="mt-6 inline-flex h-10 items-center gap-2 rounded-lg bg-brand px-5 font-semibold text-white shadow-brand transition hover:-translate-y-px hover:brightness-110 active:translate-y-[3px] active:shadow-[0_1px_0_var(--brand-deep)]"
        >
          <RotateCcw className="size-4" strokeWidth={2.25} />
          Qayta ishga tushirish
        </button>
      </section>
    </div>
  );
}
