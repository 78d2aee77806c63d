import { PageHeader } from "../components/PageHeader";

export function OnboardingPage() {
  return <PageHeader eyebrow="Xush kelibsiz" title="Harvel bilan tanishing" />;
}
