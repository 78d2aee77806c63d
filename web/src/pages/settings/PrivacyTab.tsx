import { Check, ExternalLink, Lock, X } from "lucide-react";
import { StatusBadge } from "../../components/ui/Badge";
import { Button } from "../../components/ui/Button";
import { Card } from "../../components/ui/Card";
import type { Snapshot } from "../../lib/types";

const KEPT = ["Tanlangan rejim", "Dastur qoidalari: faqat .exe nomi", "Mashq natijalari: faqat shu kompyuterda"];
const NEVER = ["Yozgan matningiz", "Parol maydonlari", "Brauzerdagi sayt yoki tab nomi"];

/** What the program keeps, what it never keeps, and the link to the full text. */
export function PrivacyTab({ state }: { state: Snapshot }) {
  const open = () => window.uz?.openExternal(`${state.settings.siteUrl}/maxfiylik`).catch(() => {});
  return (
    <div className="flex flex-col gap-4">
      <div className="grid gap-4 sm:grid-cols-2">
        <ListCard badge="Saqlanadi" tone="green" items={KEPT} kept />
        <ListCard badge="Saqlanmaydi" tone="red" items={NEVER} kept={false} />
      </div>
      <Card className="flex flex-col items-start gap-4 p-6">
        <div className="flex gap-4">
          <div aria-hidden className="grid size-10 shrink-0 place-items-center rounded-xl bg-accent text-brand">
            <Lock className="size-5" strokeWidth={2} />
          </div>
          <p data-privacy-text className="text-body-sm leading-relaxed text-foreground/85">
            Harvel hisobsiz va internetsiz ishlaydi. Yozilgan matn hech qachon serverga yuborilmaydi. Parol maydoni va
            administrator oynalarida harf almashtirish ishlamaydi. Realtime tekshiruvchi yoqilgan bo‘lsa (standart:
            o‘chiq), Harvel so‘z tugaguncha uni faqat xotirada ushlaydi, tekshiradi va unutadi; diskka yozmaydi,
            tarmoqqa chiqarmaydi. So‘zning ekrandagi o‘rnini topish uchun Windows UI Automation ishlatiladi: u faqat
            joy va uzunlikni so‘raydi, matnni o‘qimaydi.
          </p>
        </div>
        <Button variant="outline" size="sm" className="ml-14" onClick={open}>
          To‘liq matnni o‘qish
          <ExternalLink aria-hidden />
        </Button>
      </Card>
    </div>
  );
}

function ListCard({ badge, tone, items, kept }: { badge: string; tone: "green" | "red"; items: string[]; kept: boolean }) {
  const Mark = kept ? Check : X;
  return (
    <Card aria-label={badge} className="p-6">
      <StatusBadge tone={tone}>{badge}</StatusBadge>
      <ul className="mt-4 flex flex-col gap-3">
        {items.map((item) => (
          <li key={item} className="flex items-start gap-2.5 text-body-sm">
            <span
              aria-hidden
              className={
                kept
                  ? "mt-0.5 grid size-5 shrink-0 place-items-center rounded-full bg-success/12 text-success"
                  : "mt-0.5 grid size-5 shrink-0 place-items-center rounded-full bg-destructive/10 text-destructive"
              }
            >
              <Mark className="size-3" strokeWidth={3} />
            </span>
            {item}
          </li>
        ))}
      </ul>
    </Card>
  );
}
