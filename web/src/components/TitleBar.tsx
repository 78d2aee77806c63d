import { useEffect, useState, type MouseEvent } from "react";
import { Copy, Minus, Square, X } from "lucide-react";
import { cn } from "../lib/utils";

type WindowModule = typeof import("../lib/window");

const ignore = () => {};
// The window module is fetched on demand (once; later imports reuse it).
const loadWindow = () => import("../lib/window");
const run = (op: (win: WindowModule) => Promise<unknown>) => {
  loadWindow().then(op).catch(ignore);
};

/** The frameless main window's 36 px title bar: drag region, minimise, maximise/restore, close. */
export function TitleBar() {
  const [maximized, setMaximized] = useState(false);

  useEffect(() => {
    let live = true;
    let stop = ignore;
    loadWindow()
      .then((mod) => {
        if (!live) return;
        const read = () => {
          mod.isMaximized().then((value) => live && setMaximized(value), ignore);
        };
        read();
        window.addEventListener("resize", read);
        stop = () => window.removeEventListener("resize", read);
      })
      .catch(ignore);
    return () => {
      live = false;
      stop();
    };
  }, []);

  const drag = (e: MouseEvent) => {
    if (e.button === 0 && e.detail === 1) run((win) => win.startDragging());
  };
  const toggleMaximize = () => run((win) => win.toggleMaximize());
  const keepFromBar = (e: MouseEvent) => e.stopPropagation();

  return (
    <div
      className="flex h-9 shrink-0 items-center select-none"
      onMouseDown={drag}
      onDoubleClick={toggleMaximize}
    >
      <span
        aria-hidden
        className="pointer-events-none ml-3 grid size-5 place-items-center rounded-[6px] bg-brand text-[11px] leading-none font-bold text-white"
      >
        H
      </span>
      <span className="pointer-events-none ml-2 text-small text-muted-foreground">Harvel</span>
      <div className="ml-auto flex h-full" onMouseDown={keepFromBar} onDoubleClick={keepFromBar}>
        <BarButton label="Kichraytirish" onClick={() => run((win) => win.minimize())}>
          <Minus className="size-4" strokeWidth={1.5} />
        </BarButton>
        <BarButton label={maximized ? "Tiklash" : "Kattalashtirish"} onClick={toggleMaximize}>
          {maximized ? (
            <Copy className="size-3.5 -scale-x-100" strokeWidth={1.5} />
          ) : (
            <Square className="size-3.5" strokeWidth={1.5} />
          )}
        </BarButton>
        <BarButton label="Yopish" danger onClick={() => run((win) => win.close())}>
          <X className="size-4" strokeWidth={1.5} />
        </BarButton>
      </div>
    </div>
  );
}

interface BarButtonProps {
  label: string;
  danger?: boolean;
  onClick: () => void;
  children: React.ReactNode;
}

function BarButton({ label, danger, onClick, children }: BarButtonProps) {
  return (
    <button
      type="button"
      aria-label={label}
      title={label}
      onClick={onClick}
      className={cn(
        "grid h-full w-[46px] place-items-center text-foreground/80 transition-colors focus-visible:outline-offset-[-2px]",
        danger ? "hover:bg-[#c42b1c] hover:text-white" : "hover:bg-foreground/[0.06]",
      )}
    >
      {children}
    </button>
  );
}
