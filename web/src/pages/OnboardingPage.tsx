import type { Snapshot } from "../lib/types";
import { WelcomeFlow } from "./onboarding/WelcomeFlow";

/** Route "/welcome": the welcome flow, fresh each time it is opened. */
export function OnboardingPage({ state }: { state: Snapshot }) {
  return <WelcomeFlow state={state} />;
}
