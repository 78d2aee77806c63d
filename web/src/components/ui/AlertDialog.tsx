import * as AlertPrimitive from "@radix-ui/react-alert-dialog";
import type { ReactNode } from "react";
import { Button } from "./Button";
import { overlayClass, panelClass } from "./Dialog";
import { useReturnFocus } from "./returnFocus";

interface ConfirmDialogProps {
  open: boolean;
  onOpenChange: (open: boolean) => void;
  title: ReactNode;
  description?: ReactNode;
  children?: ReactNode;
  cancelLabel?: string;
  confirmLabel: string;
  destructive?: boolean;
  onConfirm: () => void;
}

/**
 * A confirmation over a veil: the cancel button comes before the confirm button. Closed, it
 * gives the focus back to the control that opened it.
 */
export function ConfirmDialog({
  open,
  onOpenChange,
  title,
  description,
  children,
  cancelLabel = "Bekor qilish",
  confirmLabel,
  destructive,
  onConfirm,
}: ConfirmDialogProps) {
  const focus = useReturnFocus();
  return (
    <AlertPrimitive.Root open={open} onOpenChange={onOpenChange}>
      <AlertPrimitive.Portal>
        {/* A click on the veil closes, as cancel and Escape do. */}
        <AlertPrimitive.Overlay className={overlayClass} onClick={() => onOpenChange(false)} />
        <AlertPrimitive.Content
          className={panelClass}
          {...(description ? {} : { "aria-describedby": undefined })}
          {...focus}
        >
          <AlertPrimitive.Title className="text-subheading font-semibold">{title}</AlertPrimitive.Title>
          {description && (
            <AlertPrimitive.Description className="mt-1 text-body-sm text-muted-foreground">
              {description}
            </AlertPrimitive.Description>
          )}
          {children}
          <div className="mt-6 flex justify-end gap-2">
            <AlertPrimitive.Cancel asChild>
              <Button variant="secondary">{cancelLabel}</Button>
            </AlertPrimitive.Cancel>
            <AlertPrimitive.Action asChild>
              <Button variant={destructive ? "destructive" : "default"} onClick={onConfirm}>
                {confirmLabel}
              </Button>
            </AlertPrimitive.Action>
          </div>
        </AlertPrimitive.Content>
      </AlertPrimitive.Portal>
    </AlertPrimitive.Root>
  );
}
