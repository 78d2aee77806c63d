import { PageHeader } from "../components/PageHeader";

export function HomePage() {
  return <PageHeader eyebrow="Asosiy" title="Asosiy" subtitle="Yangi harflar ş, ç, ö, ğ — barcha dasturlarda." />;
}
