// Result records of the text converters and the fixed texts they report.

export const LATIN_PROFILE = "uz-new-2026-draft1";
export const CYRILLIC_PROFILE = "uz-cyr-2026-test";

export type RuleId = "P-01" | "A-01" | "A-02" | "A-03" | "A-04" | "A-06" | "A-09";

/** One replaced span of the normalised input (code-point offsets, end exclusive). */
export interface Change {
  start: number;
  end: number;
  from: string;
  to: string;
  rule: RuleId;
}

export type WarningKind =
  | "unclosed-code-block"
  | "mixed-script"
  | "cyrillic-unsupported"
  | "foreign-pattern"
  | "foreign-dict"
  | "alnum-token"
  | "unknown-apostrophe"
  | "tutuq-after-og"
  | "quote-vs-apostrophe"
  | "sh-boundary-restored"
  | "odd-combining-mark"
  | "internal-error";

export interface ConvertWarning {
  start: number;
  end: number;
  kind: WarningKind;
  message: string;
  /** A suggested spelling of the whole word, for some kinds. */
  suggestion?: string;
}

export interface ConvertResult {
  output: string;
  changes: Change[];
  warnings: ConvertWarning[];
  /** The input after NFC normalisation; every offset counts its code points. */
  input: string;
  profile: typeof LATIN_PROFILE;
  script?: "latin";
}

export type CyrillicWarningKind = "ts-ambiguous" | "foreign-letter" | "mixed-script" | "degraded-cyrillic" | "internal-error";

/** A Cyrillic word that was rewritten, as a whole. */
export interface WordChange {
  start: number;
  end: number;
  to: string;
}

export interface CyrillicWarning {
  start: number;
  end: number;
  kind: CyrillicWarningKind;
  message: string;
}

export interface CyrillicResult {
  output: string;
  changes: WordChange[];
  warnings: CyrillicWarning[];
  input: string;
  profile: typeof CYRILLIC_PROFILE;
  script: "cyrillic";
}

/** What `convertText` answers: either converter's record, tagged with its script. */
export type TextResult = (ConvertResult & { script: "latin" }) | CyrillicResult;

export type ScriptChoice = "auto" | "latin" | "cyrillic";

/** A conversion reduced to what a whole document needs: its output and its counts. */
export interface Counted {
  /** The converted text; null when it went into the caller's sink, or when the spans were asked for instead. */
  output: string | null;
  /** The input after NFC normalisation. */
  input: string;
  changes: number;
  warnings: number;
  /** The message of an internal failure, which left the text unchanged; else null. */
  failure: string | null;
  script: "latin" | "cyrillic";
  /** The changes as spans, when asked for; valid only until the next conversion. */
  spans?: ChangeSpans;
}

/** The changes of a conversion: spans of its normalised input (code points, in order) and their replacements. */
export interface ChangeSpans {
  count: number;
  start: ArrayLike<number>;
  end: ArrayLike<number>;
  to: readonly string[];
}

export const MESSAGES: Record<Exclude<WarningKind, "internal-error">, string> = {
  "unclosed-code-block": "Yopilmagan ``` kod bloki: oxirigacha o‘zgartirilmadi.",
  "mixed-script": "Bir so‘zda turli yozuv harflari aralashgan: o‘zgartirilmadi.",
  "cyrillic-unsupported":
    "Kirill harflari bu versiyada o‘girilmaydi (kirill -> lotin keyingi bosqichda): o‘zgartirilmadi.",
  "foreign-pattern":
    "Chet so‘zga o‘xshaydi (c, w, ph, th, ck, ...): o‘zgartirilmadi. O‘girish kerak bo‘lsa, muqobilni tanlang.",
  "foreign-dict": "Chet so‘z/ism deb olindi (lug‘at): o‘zgartirilmadi. O‘girish kerak bo‘lsa, muqobilni tanlang.",
  "alnum-token": "Raqam yoki pastki chiziqqa yopishgan so‘z: o‘zgartirilmadi.",
  "unknown-apostrophe": "Noodatiy apostrof/belgi ishlatilgan; o‘z o‘rniga qarab o‘girildi. Tekshirib oling.",
  "tutuq-after-og":
    "o/g dan keyin tutuq belgisi (ʼ) keldi; oʻ/gʻ deb o‘girildi. Aslida tutuq bo‘lsa, muqobilni tanlang.",
  "quote-vs-apostrophe":
    "Oxiridagi belgi tirnoq deb olindi (so‘z tirnoq ichida): ğ/ö ga o‘girilmadi. Agar u oʻ/gʻ belgisi bo‘lsa, qo‘lda tuzating.",
  "sh-boundary-restored": "S va H ajratib o‘qiladigan so‘z (lug‘at): tutuq tiklandi. Mexanik muqobil: ş.",
  "odd-combining-mark":
    "Harf birikmasidan keyin birlashtiruvchi belgi keldi: bu joy o‘zgartirilmadi. Qo‘lda tekshiring.",
};

export const CYRILLIC_MESSAGES: Record<Exclude<CyrillicWarningKind, "internal-error">, string> = {
  "ts-ambiguous": "Ц: s yoki ts bo‘lishi mumkin; so‘zni tekshiring.",
  "foreign-letter": "O‘zbek kirill alifbosida yo‘q harf (rus so‘zi/ismi?): tekshiring.",
  "mixed-script": "So‘zda lotin va kirill harflari aralash: o‘zgartirilmadi.",
  "degraded-cyrillic":
    "Matnda ў, қ, ғ, ҳ deyarli yo‘q: kirill “buzilgan” bo‘lishi mumkin (узбек, шахар). Natija ishonchsiz.",
};

/** The message of an "internal-error" warning: the fixed text and the failure's own message. */
export function internalErrorMessage(error: unknown): string {
  let detail = "";
  try {
    if (error instanceof Error) detail = error.message;
    else if (error !== undefined && error !== null) detail = String(error);
  } catch {
    detail = "";
  }
  return `Ichki xato: matn o‘zgartirilmadi. ${detail}`;
}

/** The text a converter works on: an absent value is empty, anything else its string form. */
export function asText(value: unknown): string {
  return value === undefined || value === null ? "" : typeof value === "string" ? value : String(value);
}

/** Length of a text in code points. */
export function codePointLength(text: string): number {
  let n = text.length;
  for (let i = 0; i < text.length; i++) {
    const u = text.charCodeAt(i);
    if (u >= 0xd800 && u <= 0xdbff && i + 1 < text.length) {
      const v = text.charCodeAt(i + 1);
      if (v >= 0xdc00 && v <= 0xdfff) {
        n--;
        i++;
      }
    }
  }
  return n;
}
