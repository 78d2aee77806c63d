// The practice sentences of the typing exercise and the pick of a run's text.

const SOURCE = [
  "Özbekiston çiroyli ölka, bu yerda yaxşi odamlar yaşaydi.",
  "Bugun töğri yöl bilan şaharga bordik, ğalaba üçün emas, yaxşilik üçün.",
  "Öqituvçi yaxşi dars ötdi, öquvçilar xursand böldi.",
  "Keçqurun çay içib, şirin meva yedik, söng kitob öqidik.",
  "Ğalaba uçun birgalikda işlaymiz, çunki öz yölimiz bor.",
  "Çegarada şamol esadi, ğisht ustalar uy qurdi.",
  "Taşakkur, yaxşi kün tilaymiz, ğam çekmang.",
];

/** The seven sentences, in order; "ü" is not a letter of the alphabet and becomes "u". */
export const SENTENCES: readonly string[] = SOURCE.map((s) => s.replaceAll("ü", "u"));

export type Duration = 30 | 60;
export const DURATIONS: readonly Duration[] = [30, 60];

/** How many sentences a run of `duration` seconds types. */
export function sentenceCount(duration: Duration): number {
  return duration === 60 ? 5 : 3;
}

/** A run's text: distinct sentences picked at random, joined with single blanks. */
export function pickRunText(duration: Duration, random: () => number = Math.random): string {
  const left = [...SENTENCES];
  const picked: string[] = [];
  for (let n = sentenceCount(duration); n > 0 && left.length > 0; n--) {
    // Clamped: a random source that returns 1 must not run past the list.
    const i = Math.min(left.length - 1, Math.floor(random() * left.length));
    picked.push(...left.splice(i, 1));
  }
  return picked.join(" ");
}
