import { useRef } from "react";

/** A dialog's focus handlers (Radix's onOpenAutoFocus and onCloseAutoFocus). */
export interface FocusHandlers {
  onOpenAutoFocus?: (event: Event) => void;
  onCloseAutoFocus?: (event: Event) => void;
}

/**
 * Gives the focus back to the control that opened a dialog once it closes. Radix gives it
 * back only to a trigger of its own, and these dialogs are opened by plain buttons: without
 * this the focus fell to the page's body, and a keyboard or screen-reader user started again
 * from the top. An opener that is gone by then (its row was removed, its step left) is
 * skipped; whoever removed it places the focus.
 */
export function useReturnFocus(handlers: FocusHandlers = {}): Required<FocusHandlers> {
  const opener = useRef<HTMLElement | null>(null);
  return {
    // Called as the dialog mounts, before it moves the focus inside.
    onOpenAutoFocus: (event: Event) => {
      const active = document.activeElement;
      opener.current = active instanceof HTMLElement && active !== document.body ? active : null;
      handlers.onOpenAutoFocus?.(event);
    },
    onCloseAutoFocus: (event: Event) => {
      handlers.onCloseAutoFocus?.(event);
      const to = opener.current;
      opener.current = null;
      if (event.defaultPrevented || to === null || !to.isConnected) return;
      event.preventDefault();
      to.focus({ preventScroll: true });
    },
  };
}
