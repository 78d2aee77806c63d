import { PageHeader } from "../components/PageHeader";

export function ConverterPage() {
  return (
    <PageHeader
      eyebrow="Konvertor"
      title="Hujjat konvertori"
      subtitle="Eski lotin yoki kirilldagi (sinov rejimi) hujjatni yangi alifboga o‘giring. Fayl kompyuterdan chiqmaydi."
    />
  );
}
