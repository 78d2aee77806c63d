import { ChevronUp, Clock3 } from "lucide-react";
import { useEffect, useRef, useState, type KeyboardEvent, type ReactNode } from "react";
import { useNavigate } from "react-router";
import { Banner } from "../../components/ui/Banner";
import { StatusBadge } from "../../components/ui/Badge";
import { Button } from "../../components/ui/Button";
import { Card } from "../../components/ui/Card";
import { Dialog, DialogClose, DialogContent, DialogFooter } from "../../components/ui/Dialog";
import { KeyCap } from "../../components/ui/KeyCap";
import { MODES } from "../../lib/modes";
import type { Snapshot } from "../../lib/types";
import { cn } from "../../lib/utils";
import { PracticeBox } from "../../typing/PracticeBox";
import {
  addFoundLetters,
  FLOW_MODES,
  initialChoice,
  MODE_CARDS,
  NEW_LETTERS,
  stepChoice,
  testHint,
  type FlowMode,
  type Screen,
} from "./flow";
import { Logo, NumberedList, ScreenHeading, StepIndicator } from "./parts";

const ignore = () => {};
// What a step's first control can be.
const STEP_CONTROLS = ['[role="radio"][tabindex="0"]', "textarea", "input", "button:not(:disabled)"];
const NOTHING_FOUND: ReadonlySet<string> = new Set();

/**
 * The welcome flow: an introduction, the choice of a typing mode and a live test that
 * the four new letters come out. It covers the window below the title bar; nothing is
 * saved before "Tugatish" except the mode, which each test start and "later" send.
 */
export function WelcomeFlow({ state }: { state: Snapshot }) {
  const navigate = useNavigate();
  const { settings, layout } = state;
  const uz = window.uz;

  const [screen, setScreen] = useState<Screen>("intro");
  const [chosen, setChosen] = useState<FlowMode | null>(() => initialChoice(settings.onboarded, settings.mode));
  const [warning, setWarning] = useState<"fast" | "hybrid" | null>(null);
  const [acknowledged, setAcknowledged] = useState<{ fast?: boolean; hybrid?: boolean }>({});
  const [found, setFound] = useState<ReadonlySet<string>>(NOTHING_FOUND);
  const [goOnAnyway, setGoOnAnyway] = useState(false);
  const [layoutChanged, setLayoutChanged] = useState(false);
  const [finished, setFinished] = useState(false);

  const testMode: FlowMode = chosen ?? "zero";
  const hookProblem = state.hook === "error" && settings.enabled;
  const layoutBlock = testMode !== "zero" && !layout.compatible && !goOnAnyway;
  const allFound = found.size === NEW_LETTERS.length;

  // A new step puts the focus on its first control, unless one of its own took it (those
  // with autoFocus): the control that had it went with the old step's footer. The first
  // control is the step's own (the chosen mode's card, the test box), else its main button.
  const flow = useRef<HTMLDivElement>(null);
  useEffect(() => {
    const root = flow.current;
    if (root === null || root.contains(document.activeElement)) return;
    const own = root.querySelector<HTMLElement>(STEP_CONTROLS.map((c) => `[data-step-body] ${c}`).join());
    const footer = [...root.querySelectorAll<HTMLElement>("footer button:not(:disabled)")];
    (own ?? footer.at(-1))?.focus();
  }, [screen, layoutBlock]);

  // "/" sends a user who is not onboarded back here, so leave only once a Snapshot says
  // the flow is done (the command's answer and the new state come in either order).
  useEffect(() => {
    if (finished && settings.onboarded) navigate("/", { replace: true });
  }, [finished, settings.onboarded, navigate]);

  const finish = async () => {
    try {
      await uz?.finishOnboarding();
      setFinished(true);
    } catch {
      navigate("/", { replace: true });
    }
  };

  const later = async () => {
    if (settings.onboarded) {
      navigate("/", { replace: true });
      return;
    }
    await uz?.setMode("zero").catch(ignore);
    setChosen("zero");
    setScreen("later");
  };

  const startTest = async (mode: FlowMode) => {
    await uz?.setMode(mode).catch(ignore);
    setFound(NOTHING_FOUND);
    setScreen("test");
  };

  const continueFromMode = () => {
    if (!chosen) return;
    if (chosen !== "zero" && !acknowledged[chosen]) setWarning(chosen);
    else void startTest(chosen);
  };

  const confirmWarning = () => {
    if (!warning) return;
    setAcknowledged((ack) => ({ ...ack, [warning]: true }));
    setWarning(null);
    void startTest(warning);
  };

  const retry = () => {
    setFound(NOTHING_FOUND);
    uz?.retryHook().catch(ignore);
    setScreen("test");
  };

  const laterButton = (
    <Button variant="ghost" onClick={later}>
      Keyinroq sozlash
    </Button>
  );
  const back = (to: Screen) => (
    <Button variant="ghost" onClick={() => setScreen(to)}>
      Orqaga
    </Button>
  );
  const counter = (text: string) => <span className="text-small text-muted-foreground tabular-nums">{text}</span>;

  let step: 1 | 2 | 3 | null = null;
  let body: ReactNode;
  let footer: { start: ReactNode; end: ReactNode };

  switch (screen) {
    case "intro":
      step = 1;
      body = <IntroScreen />;
      footer = {
        start: laterButton,
        end: (
          <>
            {counter("1 / 3")}
            <Button autoFocus onClick={() => setScreen("mode")}>
              Davom etish
            </Button>
          </>
        ),
      };
      break;
    case "mode":
      step = 2;
      body = <ModeScreen chosen={chosen} onChoose={setChosen} state={state} />;
      footer = {
        start: (
          <>
            {back("intro")}
            {laterButton}
          </>
        ),
        end: (
          <>
            {counter(chosen ? "2 / 3" : "Davom etish uchun rejim tanlang")}
            <Button disabled={!chosen} onClick={continueFromMode}>
              Davom etish
            </Button>
          </>
        ),
      };
      break;
    case "test":
      step = 3;
      if (layoutBlock) {
        body = <LayoutBlockScreen state={state} layoutChanged={layoutChanged} />;
        footer = {
          start: (
            <>
              {back("mode")}
              <Button variant="ghost" onClick={() => setGoOnAnyway(true)}>
                Shunday davom etish
              </Button>
            </>
          ),
          end: (
            <>
              {counter("3 / 3")}
              <Button onClick={() => setLayoutChanged(true)}>Tilni o‘zgartirdim</Button>
            </>
          ),
        };
      } else {
        body = (
          <TestScreen
            mode={testMode}
            found={found}
            onText={(text) => setFound((prev) => addFoundLetters(prev, text))}
            hookProblem={hookProblem}
            hookError={state.hookError}
          />
        );
        footer = {
          start: back("mode"),
          end: (
            <>
              {counter("3 / 3")}
              {/* Keyed apart, so that "Davom etish" mounts anew and takes the focus. */}
              {allFound ? (
                <Button key="next" autoFocus onClick={() => setScreen("ready")}>
                  Davom etish
                </Button>
              ) : (
                <Button key="fail" variant="outline" onClick={() => setScreen("fail")}>
                  Sinov ishlamadimi?
                </Button>
              )}
            </>
          ),
        };
      }
      break;
    case "fail":
      step = 3;
      body = <FailScreen count={found.size} />;
      footer = {
        start: (
          <>
            {back("test")}
            {laterButton}
          </>
        ),
        end: (
          <>
            {counter("3 / 3")}
            <Button autoFocus onClick={retry}>
              Qayta urinish
            </Button>
          </>
        ),
      };
      break;
    case "ready":
      body = <ReadyScreen />;
      footer = {
        start: (
          <Button variant="ghost" onClick={finish}>
            Keyinroq sozlash
          </Button>
        ),
        end: (
          <>
            {counter("Sozlamalar keyinroq ham ochiladi")}
            <Button autoFocus onClick={finish}>
              Tugatish
            </Button>
          </>
        ),
      };
      break;
    case "later":
      body = <LaterScreen mode={testMode} />;
      footer = {
        start: null,
        end: (
          <>
            {counter("Sozlamalar → Welcome’ni qayta ochish")}
            <Button autoFocus onClick={finish}>
              Tugatish
            </Button>
          </>
        ),
      };
      break;
  }

  const centred = screen === "ready" || screen === "later";
  return (
    <div ref={flow} data-screen={screen} className="fixed inset-x-0 top-9 bottom-0 z-40 flex flex-col bg-background">
      <div data-step-body className="min-h-0 flex-1 overflow-y-auto">
        <div
          className={cn(
            "mx-auto w-full max-w-[46rem] px-8 pt-8 pb-10",
            centred && "flex min-h-full flex-col items-center justify-center text-center",
          )}
        >
          {step && <StepIndicator current={step} />}
          {body}
        </div>
      </div>
      <footer key={screen} className="flex h-16 shrink-0 items-center gap-2 border-t bg-card/60 px-8">
        {footer.start}
        <div className="ml-auto flex items-center gap-4">{footer.end}</div>
      </footer>

      <WarningDialog mode={warning} onClose={() => setWarning(null)} onConfirm={confirmWarning} />
    </div>
  );
}

function IntroScreen() {
  const promises = [
    ["Hisob kerak emas", "Ro‘yxatdan o‘tmaysiz, kirmaysiz. O‘rnating va yozing."],
    ["Internet kerak emas", "Hammasi kompyuteringizda ishlaydi, ulanmagan holatda ham."],
    ["Matn tashqariga chiqmaydi", "Yozganlaringiz serverga yuborilmaydi."],
  ];
  return (
    <>
      <Logo className="mb-6" />
      <ScreenHeading eyebrow="Xush kelibsiz" title="Harvel bilan tanishing">
        <p className="mt-3 max-w-xl text-body text-muted-foreground">
          Ş, Ç, Ö, Ğ harflarini istalgan dasturda, oddiy klaviaturada yozing. Uchta va’da:
        </p>
      </ScreenHeading>
      <Card className="p-6">
        <NumberedList items={promises.map(([title, text]) => ({ title, text }))} />
      </Card>
    </>
  );
}

function ModeScreen({
  chosen,
  onChoose,
  state,
}: {
  chosen: FlowMode | null;
  onChoose: (mode: FlowMode) => void;
  state: Snapshot;
}) {
  const cards = useRef<Partial<Record<FlowMode, HTMLDivElement | null>>>({});
  const { layout } = state;

  const onKey = (e: KeyboardEvent) => {
    const forward = e.key === "ArrowRight" || e.key === "ArrowDown";
    const backward = e.key === "ArrowLeft" || e.key === "ArrowUp";
    if (!forward && !backward) return;
    e.preventDefault();
    const next = stepChoice(chosen, forward);
    onChoose(next);
    cards.current[next]?.focus();
  };

  return (
    <>
      <ScreenHeading eyebrow="2-qadam" title="Yozish rejimini tanlang">
        <p className="mt-3 text-body text-muted-foreground">
          Keyinroq o‘zgartirish mumkin. Dastur bo‘yicha alohida rejim ham bor.
        </p>
      </ScreenHeading>

      <div role="radiogroup" aria-label="Yozish rejimi" className="grid grid-cols-3 gap-3" onKeyDown={onKey}>
        {FLOW_MODES.map((mode, i) => {
          const card = MODE_CARDS[mode];
          const checked = chosen === mode;
          const focusable = chosen ? checked : i === 0;
          return (
            <div
              key={mode}
              ref={(el) => {
                cards.current[mode] = el;
              }}
              role="radio"
              aria-checked={checked}
              aria-label={MODES[mode].label}
              tabIndex={focusable ? 0 : -1}
              onClick={() => onChoose(mode)}
              onKeyDown={(e) => {
                if (e.key === " " || e.key === "Enter") {
                  e.preventDefault();
                  onChoose(mode);
                }
              }}
              className={cn(
                "glass relative flex cursor-pointer flex-col rounded-card p-4 text-left transition-[box-shadow,transform] select-none",
                "hover:-translate-y-px focus-visible:outline-offset-2",
                checked ? "ring-2 ring-brand" : "hover:ring-1 hover:ring-brand/40",
              )}
            >
              <span className="text-[11px] font-semibold tracking-wider text-brand-ink uppercase">{card.tag}</span>
              <span className="mt-1 flex items-center justify-between gap-2">
                <span className="text-subheading font-semibold">{MODES[mode].label}</span>
                {checked && (
                  <span
                    aria-hidden
                    className="grid size-6 shrink-0 place-items-center rounded-full bg-brand text-small font-bold text-white"
                  >
                    ✓
                  </span>
                )}
              </span>
              <span className="mt-1 min-h-[2.6em] text-small text-muted-foreground">{card.text}</span>
              <ul className="mt-3 flex flex-col gap-1.5 border-t pt-3">
                {card.rows.map(([key, letter]) => (
                  <li key={letter} className="flex items-center gap-2 text-small">
                    <KeyCap>{key}</KeyCap>
                    <span aria-hidden className="text-muted-foreground/70">
                      →
                    </span>
                    <span className="text-body leading-none font-semibold text-brand-ink">{letter}</span>
                  </li>
                ))}
              </ul>
            </div>
          );
        })}
      </div>

      <p data-testid="mode-description" aria-live="polite" className="mt-5 rounded-control bg-accent/60 px-4 py-3 text-body-sm">
        <ModeDescription mode={chosen} />
      </p>

      <p data-testid="layout-line" className="mt-4 flex flex-wrap items-center gap-x-2 gap-y-1 text-body-sm text-muted-foreground">
        <StatusBadge tone={layout.compatible ? "green" : "red"}>{layout.compatible ? "Mos" : "Mos emas"}</StatusBadge>
        <span>
          {`Klaviatura tartibi: ${layout.name}. `}
          {layout.compatible
            ? "Fast va Hybrid shu tartibda ishlaydi."
            : `Fast va Hybrid shu tartibda pauzada${layout.reason ? ` (${layout.reason})` : ""}. Zero-learning ishlayveradi.`}
        </span>
      </p>
    </>
  );
}

function ModeDescription({ mode }: { mode: FlowMode | null }) {
  const lead = (text: string) => <b className="font-semibold">{text}</b>;
  switch (mode) {
    case "fast":
      return (
        <>
          {lead("Fast:")} <KeyCap>W</KeyCap> <KeyCap>C</KeyCap> <KeyCap>[</KeyCap> <KeyCap>]</KeyCap>
          {" tugmalari ş, ç, ö, ğ chiqaradi. Asl w, c, [ ] kerak bo‘lsa "}
          <KeyCap>Right Alt</KeyCap>
          {
            " (qo‘shimcha tugma) bilan bosing. U Sozlamalarda o‘zgartiriladi. Lotin QWERTY tartibida (English, O‘zbek lotin) ishlaydi."
          }
        </>
      );
    case "hybrid":
      return (
        <>
          {lead("Hybrid:")}
          {" hamma US belgilar o‘z joyida. Yangi harf uchun qo‘shimcha tugma ("}
          <KeyCap>Right Alt</KeyCap>
          {") + S, C, O yoki G bosing. Lotin QWERTY tartibida (English, O‘zbek lotin) ishlaydi."}
        </>
      );
    case "zero":
      return (
        <>
          {lead("Zero-learning:")}
          {
            " sh yozsangiz ş, ch yozsangiz ç, o‘ yozsangiz ö, g‘ yozsangiz ğ bo‘ladi. Yodlash shart emas va klaviatura tartibiga bog‘liq emas."
          }
        </>
      );
    default:
      return (
        <>
          {lead("Rejimni tanlang.")}
          {" Keyinroq istalgan vaqt Sozlamalar yoki tray’dan o‘zgartira olasiz."}
        </>
      );
  }
}

function WarningDialog({
  mode,
  onClose,
  onConfirm,
}: {
  mode: "fast" | "hybrid" | null;
  onClose: () => void;
  onConfirm: () => void;
}) {
  const confirm = useRef<HTMLButtonElement>(null);
  // Keep the last mode's content while the dialog closes.
  const [shown, setShown] = useState(mode);
  if (mode && mode !== shown) setShown(mode);
  const fast = shown === "fast";
  return (
    <Dialog open={mode !== null} onOpenChange={(open) => !open && onClose()}>
      <DialogContent
        title={fast ? "Fast rejimi haqida eslatma" : "Hybrid: Right Alt konflikti"}
        description={fast ? "Tanlashdan oldin bilib qo‘ying:" : "Hybrid yangi harflarni Right Alt orqali yozadi."}
        onOpenAutoFocus={(e) => {
          e.preventDefault();
          confirm.current?.focus();
        }}
        className="max-w-lg"
      >
        <div className="mt-4">
          {fast ? (
            <>
              <Banner tone="warning" title="Muhim ogohlantirish">
                <KeyCap>W</KeyCap> <KeyCap>C</KeyCap> <KeyCap>[</KeyCap> <KeyCap>]</KeyCap>
                {" oddiy harf sifatida yozilmaydi. Ular ş, ç, ö, ğ ga almashadi. "}
                <KeyCap>Right Alt</KeyCap>
                {" asl belgini qaytaradi."}
              </Banner>
              <p className="mt-4 text-body-sm">
                {"Masalan: "}
                <KeyCap>W</KeyCap>
                {" → ş, "}
                <KeyCap>Right Alt</KeyCap>+<KeyCap>W</KeyCap>
                {" → w"}
              </p>
            </>
          ) : (
            <>
              <Banner tone="warning" title="Right Alt band bo‘lishi mumkin">
                {"Ba’zi klaviatura dasturlari va tillar "}
                <KeyCap>Right Alt</KeyCap>
                {" ni o‘zi band qiladi. Unda Hybrid ishlamasligi mumkin."}
              </Banner>
              <NumberedList
                className="mt-5"
                items={[
                  { title: "Jonli sinovda tekshiring", text: "Right Alt+S bossangiz ş chiqishi kerak." },
                  { title: "Chiqmasa Fast yoki Zero-learning", text: "Ular Right Alt’ga bog‘liq emas." },
                ]}
              />
            </>
          )}
        </div>
        <DialogFooter>
          <DialogClose asChild>
            <Button variant="secondary">Boshqa rejim</Button>
          </DialogClose>
          <Button ref={confirm} onClick={onConfirm}>
            {fast ? "Tushundim, Fast" : "Davom etish"}
          </Button>
        </DialogFooter>
      </DialogContent>
    </Dialog>
  );
}

function LayoutBlockScreen({ state, layoutChanged }: { state: Snapshot; layoutChanged: boolean }) {
  const { layout } = state;
  return (
    <>
      <ScreenHeading eyebrow="3-qadam" title="Jonli sinov" />
      <Banner tone="warning" title="Bu klaviatura tartibida Fast/Hybrid ishlamaydi">
        {"Hozir: "}
        <KeyCap>{layout.name}</KeyCap>
        {layout.reason ? ` — ${layout.reason}` : null}
        {". O‘zbek (lotin) kabi QWERTY lotin tartiblari ishlaydi, kirill va boshqa tartiblar ishlamaydi."}
        {layoutChanged && (
          <span data-testid="still-incompatible" className="mt-1.5 block font-semibold text-warning-fg">
            {`Tartib hali ham mos emas: ${layout.name}.`}
          </span>
        )}
      </Banner>
      <Card className="mt-5 p-6">
        <NumberedList
          items={[
            {
              title: "Tartibni almashtiring",
              text: (
                <>
                  <KeyCap>Win+Space</KeyCap> bosib English (US) yoki O‘zbek (lotin) ni tanlang.
                </>
              ),
            },
            {
              title: "English (US) yo‘q bo‘lsa qo‘shing",
              text: "Sozlamalar → Vaqt va til → Til va mintaqa → Til qo‘shish / Klaviatura qo‘shish → English (US).",
            },
            {
              title: "Har bir oynada alohida tanlanmasin",
              text: "Sozlamalar → Vaqt va til → Yozish → Klaviatura sozlamalari → «Har bir ilova oynasi uchun alohida kiritish usulini tanlash» ni o‘chiring. Aks holda Telegram, Word kabi dasturlarda tartib o‘zgarib qolaveradi.",
            },
            {
              title: "Yoki Zero-learning tanlang",
              text: "U tartibga bog‘liq emas: orqaga qaytib, rejimni almashtirish mumkin.",
            },
          ]}
        />
      </Card>
    </>
  );
}

function TestScreen({
  mode,
  found,
  onText,
  hookProblem,
  hookError,
}: {
  mode: FlowMode;
  found: ReadonlySet<string>;
  onText: (text: string) => void;
  hookProblem: boolean;
  hookError: string | null;
}) {
  const all = found.size === NEW_LETTERS.length;
  return (
    <>
      <ScreenHeading eyebrow="3-qadam" title="Jonli sinov">
        <div className="mt-3 flex flex-wrap items-center gap-3">
          <StatusBadge tone={all ? "green" : "brand"}>{`${found.size}/4 harf topildi`}</StatusBadge>
          <span className="text-small text-muted-foreground">{MODES[mode].label}</span>
        </div>
      </ScreenHeading>
      <p data-testid="test-hint" className="mb-4 text-body text-muted-foreground">
        {testHint(mode, found)}
      </p>
      {hookProblem && (
        <Banner
          tone="danger"
          title="Klaviatura ulanmadi"
          className="mb-4"
          action={
            <Button size="sm" onClick={() => window.uz?.retryHook().catch(ignore)}>
              Qayta urinish
            </Button>
          }
        >
          {hookError || "Klaviatura kuzatuvi to‘xtadi. Qayta urinib ko‘ring."}
        </Banner>
      )}
      <PracticeBox
        mode={mode}
        rows={3}
        autoFocus
        placeholder="Bu yerga yozing"
        aria-label="Sinov maydoni"
        onInput={(e) => onText(e.currentTarget.value)}
        className={cn("text-subheading", all && "border-success focus-visible:border-success focus-visible:ring-success/20")}
      />
      <ul aria-label="Topilgan harflar" className="mt-4 grid grid-cols-4 gap-3">
        {NEW_LETTERS.map((letter) => {
          const hit = found.has(letter);
          return (
            <li
              key={letter}
              data-found={hit || undefined}
              className={cn(
                "flex flex-col items-center rounded-control border px-2 py-3 transition-colors",
                hit ? "border-success/40 bg-success/8" : "bg-card",
              )}
            >
              <span className={cn("text-[1.75rem] leading-tight font-semibold", hit ? "text-success-fg" : "text-muted-foreground/60")}>
                {letter.toUpperCase()}
              </span>
              <span className={cn("text-caption font-medium", hit ? "text-success-fg" : "text-muted-foreground")}>
                {hit ? "Topildi" : "Kutilmoqda"}
              </span>
            </li>
          );
        })}
      </ul>
      {all && (
        <Banner tone="success" title="Ajoyib, hammasi ishlayapti!" className="mt-4">
          Ş, Ç, Ö, Ğ to‘rttalasi to‘g‘ri chiqdi.
        </Banner>
      )}
    </>
  );
}

function FailScreen({ count }: { count: number }) {
  return (
    <>
      <ScreenHeading title="Sinov o‘tmadi">
        <div className="mt-3">
          <StatusBadge tone="red">{`${count}/4 harf topildi`}</StatusBadge>
        </div>
      </ScreenHeading>
      <Banner tone="danger" title="Harf chiqmayapti">
        Tugmalar o‘zgarmadi. Quyidagilarni tekshiring:
      </Banner>
      <Card className="mt-5 p-6">
        <NumberedList
          items={[
            { title: "Boshqa klaviatura dasturi", text: "Tugma o‘zgartiruvchi dastur ochiq bo‘lsa, vaqtincha yoping." },
            {
              title: "Administrator oynasi",
              text: "Administrator sifatida ochilgan oynalarda Harvel ishlamaydi. Oddiy oynada sinang.",
            },
            { title: "Antivirus", text: "Antivirus Harvel’ni bloklagan bo‘lishi mumkin. Istisnolarga qo‘shing." },
          ]}
        />
      </Card>
    </>
  );
}

function ReadyScreen() {
  return (
    <>
      <div
        aria-hidden
        className="mb-5 grid size-16 place-items-center rounded-full bg-success/12 text-[2rem] leading-none font-bold text-success ring-8 ring-success/5"
      >
        ✓
      </div>
      <h1 className="text-title font-semibold">Tayyor!</h1>
      <p className="mt-3 max-w-lg text-body text-muted-foreground">
        Harvel orqa fonda ishlaydi. Boshqarish uchun vazifalar panelidagi tray ikonkasidan foydalaning.
      </p>

      <figure className="mt-6 flex flex-col items-center">
        <TaskbarCorner />
        <figcaption className="mt-3 max-w-md text-small text-muted-foreground">
          Ş belgisi ko‘rinmasa, yashirin ikonkalar (^) ichidan toping. Bosganda: yoqish/o‘chirish, rejim, Sozlamalar,
          Chiqish.
        </figcaption>
      </figure>

      <Card className="mt-7 w-full p-6 text-left">
        <NumberedList
          className="grid grid-cols-2 gap-x-6 gap-y-5"
          items={[
            {
              title: "Dastur bo‘yicha rejim",
              text: "Telegram, Word kabi dasturlar uchun alohida rejimni «Dasturlar» sahifasidan tanlang.",
            },
            {
              title: "Realtime tekshiruvchi",
              text: "Standart o‘chiq. Yoqsangiz, xato so‘z (shahar) tagiga qizil chiziq chiziladi va bir bosishda tuzatiladi. Ba’zi dasturlarda (Telegram, brauzer) ishlamaydi.",
            },
            { title: "Konvertor (sinov rejimi)", text: "Hujjatni eski yozuvdan yangi lotin yozuviga o‘tkazadi." },
            {
              title: "Tartib holati",
              text: "Kirill tartibiga o‘tsangiz Fast/Hybrid pauzaga tushadi; asosiy ekran va tray buni ko‘rsatadi.",
            },
          ]}
        />
      </Card>
    </>
  );
}

/** A picture of the taskbar's notification corner with the program's icon. */
function TaskbarCorner() {
  return (
    <div
      aria-hidden
      className="flex h-12 items-center gap-4 rounded-xl bg-[#1c2024] px-4 text-white shadow-card ring-1 ring-white/5 dark:bg-[#20262b]"
    >
      <ChevronUp className="size-4 text-white/70" strokeWidth={2} />
      <span className="relative grid size-7 place-items-center rounded-md bg-brand text-body leading-none font-bold">
        ş
        <span className="absolute -inset-1 rounded-lg ring-2 ring-brand-lime/80" />
      </span>
      <span className="text-caption font-semibold tracking-wide text-white/85">ENG</span>
      <span className="text-small font-medium text-white/85 tabular-nums">14:32</span>
    </div>
  );
}

function LaterScreen({ mode }: { mode: FlowMode }) {
  return (
    <>
      <div
        aria-hidden
        className="mb-5 grid size-16 place-items-center rounded-2xl bg-accent text-[1.75rem] leading-none text-accent-foreground"
      >
        <span className="sr-only">⏱</span>
        <Clock3 className="size-7" strokeWidth={2} />
      </div>
      <h1 className="text-title font-semibold">Keyinroq sozlaysiz</h1>
      <p className="mt-3 max-w-lg text-body text-muted-foreground">
        Hozircha <b className="font-semibold text-foreground">Umumiy rejim</b> yoqildi: hamma dasturda bir xil rejim
        ishlaydi.
      </p>
      <Card className="mt-6 w-full max-w-md p-5 text-left">
        <div className="flex items-center gap-3">
          <StatusBadge tone="brand">Umumiy rejim</StatusBadge>
          <span className="text-subheading font-semibold">{MODES[mode].label}</span>
        </div>
        <p className="mt-2 text-body-sm text-muted-foreground">
          Rejimni tray yoki Sozlamalar orqali o‘zgartiring. Welcome’ni Sozlamalardan qayta ochish mumkin.
        </p>
      </Card>
    </>
  );
}
