import { PageHeader } from "../components/PageHeader";

export function LabPage() {
  return (
    <PageHeader
      eyebrow="Mashq"
      title="Mashq"
      subtitle="30 yoki 60 soniyada yozing, tezlik va aniqligingizni ko‘ring."
    />
  );
}
