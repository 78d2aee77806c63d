import { PageHeader } from "../components/PageHeader";

export function KeymapPage() {
  return <PageHeader eyebrow="Mashq" title="Tugmalar xaritasi" />;
}
