import { toast } from "sonner";
import { Button, type ButtonProps } from "../ui/Button";
import { setInstalling, useUpdateFlags } from "./updateFlags";

interface InstallButtonProps {
  size?: ButtonProps["size"];
  label?: string;
}

/**
 * Starts the downloaded installer. While an install is pending every install button
 * is disabled; on success the program quits for the installer, so only a refusal
 * comes back here.
 */
export function InstallButton({ size, label = "Hozir o‘rnatish" }: InstallButtonProps) {
  const { installing } = useUpdateFlags();

  const install = async () => {
    setInstalling(true);
    let ok = false;
    try {
      ok = (await window.uz?.installUpdate())?.ok ?? false;
    } catch {
      ok = false;
    }
    if (!ok) {
      setInstalling(false);
      toast("O‘rnatib bo‘lmadi. Qayta urinib ko‘ring.");
    }
  };

  return (
    <Button size={size} disabled={installing} onClick={install}>
      {label}
    </Button>
  );
}
