import { PageHeader } from "../components/PageHeader";

export function AppsPage() {
  return <PageHeader eyebrow="Dasturlar" title="Dasturlar" subtitle="Har bir dastur uchun alohida rejim tanlang." />;
}
