import type { HarvelBridge } from "./lib/bridge";
import type { UzFacade } from "./lib/facade";
import type { ToastData } from "./lib/types";

declare global {
  interface Window {
    /** Injected by the native host; see lib/bridge.ts. */
    __HARVEL_IPC__?: HarvelBridge;
    /** The command facade, present only inside the program. */
    uz?: UzFacade;
    /** The notice a toast window shows, set by its start script. */
    __toast?: ToastData;
  }
}
