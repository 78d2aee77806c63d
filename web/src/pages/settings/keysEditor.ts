import {
  DEFAULT_KEYS,
  extraKeyById,
  fastKeyChoice,
  SLOT_LETTERS,
  SLOTS,
  type KeySet,
  type Slot,
} from "../../typing/keys";

/** What the user gives up by making a key the extra key. */
const EXTRA_KEY_WARNINGS: Record<string, string> = {
  rctrl: "O‘ng Ctrl endi qisqa tugma emas: Right Ctrl + C, Right Ctrl + V kabi birikmalar ishlamaydi (chap Ctrl ishlayveradi).",
  caps: "Caps Lock endi katta harflarni yoqib-o‘chirmaydi: Harvel uni qo‘shimcha tugma sifatida ishlatadi. Katta harf uchun Shift ishlating.",
  apps: "Menu tugmasi endi kontekst menyuni ochmaydi.",
  insert: "Insert endi «ustiga yozish» rejimini almashtirmaydi.",
  scroll: "Scroll Lock endi ishlamaydi (masalan Excel’dagi aylantirish rejimi).",
  pause: "Pause / Break endi ishlamaydi.",
  rwin: "O‘ng Windows tugmasi endi Start menyuni ochmaydi va Win bilan qisqa tugmalarda ishlamaydi. Tavsiya qilmaymiz.",
  rshift: "O‘ng Shift endi katta harf yozmaydi; katta harf uchun chap Shift ishlating. Tavsiya qilmaymiz.",
  backquote:
    "Bu tugma ushlab turilganda qo‘shimcha tugma bo‘ladi; bir marta bosilsa o‘zining belgisi (` yoki Shift bilan ~) yoziladi.",
};

const FUNCTION_KEY = /^f(1[3-9]|2[0-4])$/;

export function extraKeyWarning(id: string): string | null {
  if (FUNCTION_KEY.test(id)) {
    return `${id.toUpperCase()} tugmasi endi boshqa dasturlardagi vazifasini (makro, qisqa tugma) bajarmaydi.`;
  }
  return EXTRA_KEY_WARNINGS[id] ?? null;
}

/** Extra keys that many laptops lack or reach only with Fn. */
export function oftenMissing(id: string): boolean {
  return ["rctrl", "apps", "insert", "scroll", "pause"].includes(id) || FUNCTION_KEY.test(id);
}

/** The letter selects' labels. */
export const SLOT_LABELS: Record<Slot, string> = {
  sh: "ş (sh)",
  ch: "ç (ch)",
  o: "ö (o‘)",
  g: "ğ (g‘)",
};

export function sameKeys(a: KeySet, b: KeySet): boolean {
  return a.hybrid === b.hybrid && SLOTS.every((slot) => a.fast[slot] === b.fast[slot]);
}

export const isDefaultKeys = (keys: KeySet) => sameKeys(keys, DEFAULT_KEYS);

export function withExtraKey(keys: KeySet, id: string): KeySet {
  return { hybrid: id, fast: { ...keys.fast } };
}

/** Gives `slot` the key `code`; a letter that held that key takes the slot's old key. */
export function withFastKey(keys: KeySet, slot: Slot, code: string): KeySet {
  const fast = { ...keys.fast };
  const holder = SLOTS.find((other) => other !== slot && fast[other] === code);
  if (holder) fast[holder] = fast[slot];
  fast[slot] = code;
  return { hybrid: keys.hybrid, fast };
}

const caption = (code: string) => fastKeyChoice(code)?.caption ?? code;

/** The defaults in words: "Right Alt, W C [ ]." */
export function defaultKeysText(): string {
  const fast = SLOTS.map((slot) => caption(DEFAULT_KEYS.fast[slot])).join(" ");
  return `${extraKeyById(DEFAULT_KEYS.hybrid).caption}, ${fast}.`;
}

/** Everything the user should know before `keys` take effect, in the order shown. */
export function keyWarnings(keys: KeySet): string[] {
  const out: string[] = [];
  const extra = extraKeyById(keys.hybrid);
  const warning = extraKeyWarning(extra.id);
  if (warning) out.push(warning);
  if (oftenMissing(extra.id)) {
    out.push(
      `Ko‘p noutbuklarda ${extra.caption} tugmasi yo‘q yoki Fn bilan bosiladi. Tugma yo‘q bo‘lsa, rejim ishlamaydi: «Tekshirish» bilan sinab ko‘ring.`,
    );
  }
  for (const slot of SLOTS) {
    const code = keys.fast[slot];
    if (code === DEFAULT_KEYS.fast[slot]) continue;
    const choice = fastKeyChoice(code);
    if (!choice) continue;
    const letter = SLOT_LETTERS[slot].lower;
    out.push(
      choice.letter
        ? `${choice.caption} tugmasi endi ${letter} yozadi; oddiy ${choice.lower} uchun ${extra.caption} + ${choice.caption} bosing.`
        : `${choice.caption} belgisi tugmasi endi ${letter} yozadi; ${choice.lower} belgisi uchun ${extra.caption} + ${choice.caption} bosing.`,
    );
  }
  const used = new Set(SLOTS.map((slot) => keys.fast[slot]));
  const freed = SLOTS.map((slot) => DEFAULT_KEYS.fast[slot]).filter((code) => !used.has(code));
  if (freed.length) out.push(`${freed.map(caption).join(", ")} tugmalari yana oddiy yoziladi.`);
  return out;
}
