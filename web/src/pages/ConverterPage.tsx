import {
  ArrowRight,
  Check,
  Copy,
  Download,
  Eraser,
  FileText,
  FileUp,
  LoaderCircle,
  ShieldCheck,
  X,
} from "lucide-react";
import { useCallback, useDeferredValue, useEffect, useMemo, useRef, useState, type DragEvent } from "react";
import { PageHeader } from "../components/PageHeader";
import { Banner } from "../components/ui/Banner";
import { Button, buttonVariants } from "../components/ui/Button";
import { Card } from "../components/ui/Card";
import { convertText } from "../convert/cyrillic";
import { ACCEPTED_EXTENSIONS, MAX_FILE_BYTES } from "../convert/document";
import { codePointSlicer, grouped, sizeText } from "../convert/format";
import type { DocReply, DocRequest } from "../convert/protocol";
import { startDocWorker } from "../convert/startWorker";
import type { ScriptChoice, TextResult } from "../convert/types";
import { cn } from "../lib/utils";

/** Longest text converted live; anything longer goes through a file. */
export const LIVE_LIMIT = 200_000;
const COPIED_MS = 1800;
const SHOWN_WARNINGS = 50;
const SHOWN_CHANGES = 12;

const TEST_NOTICE = "Kirill konvertori sinov rejimida: xatolar bo‘lishi mumkin, natijani tekshirib chiqing.";
const TOO_BIG = "Matn juda katta: fayl sifatida yuklang.";
const PICKER_FILTER = ACCEPTED_EXTENSIONS.map((e) => `.${e}`).join(",");
const LIMIT_MB = MAX_FILE_BYTES / 1048576;

const SCRIPTS: { value: ScriptChoice; label: string; badge?: string }[] = [
  { value: "auto", label: "Avto" },
  { value: "latin", label: "Eski lotin" },
  { value: "cyrillic", label: "Kirill", badge: "SINOV" },
];

interface Job {
  key: number;
  /** The file's name. */
  file: string;
  /** Its size, as shown. */
  size: string;
  /** The file name, " · " and its size. */
  source: string;
  status: "running" | "done" | "error";
  name?: string;
  url?: string;
  changed?: number;
  warnings?: number;
  cyr?: boolean;
  error?: string;
}

type LiveResult = null | "too-big" | TextResult;

function liveResult(text: string, choice: ScriptChoice): LiveResult {
  if (text.trim() === "") return null;
  if (text.length > LIVE_LIMIT) return "too-big";
  return convertText(text, choice);
}

interface ConverterPageProps {
  /** Starts a new document worker; one is started per file. */
  createWorker?: () => Worker;
}

/** Converts typed or pasted text live, and whole files in workers, all on this machine. */
export function ConverterPage({ createWorker = startDocWorker }: ConverterPageProps) {
  const [choice, setChoice] = useState<ScriptChoice>("auto");
  const [text, setText] = useState("");
  const [notice, setNotice] = useState("");
  const [wordNote, setWordNote] = useState(false);
  const [jobs, setJobs] = useState<Job[]>([]);
  const [copied, setCopied] = useState(false);
  const [dragging, setDragging] = useState(false);

  const choiceRef = useRef(choice);
  choiceRef.current = choice;
  const nextKey = useRef(1);
  const urls = useRef(new Set<string>());
  const workers = useRef(new Set<Worker>());
  const picker = useRef<HTMLInputElement>(null);
  const copiedTimer = useRef<ReturnType<typeof setTimeout> | undefined>(undefined);
  const alive = useRef(true);

  // A long paste converts without holding up the typing.
  const deferredText = useDeferredValue(text);
  const deferredChoice = useDeferredValue(choice);
  const result = useMemo(() => liveResult(deferredText, deferredChoice), [deferredText, deferredChoice]);
  const output = result === null ? "" : result === "too-big" ? TOO_BIG : result.output;
  const hasOutput = result !== null && result !== "too-big" && result.output !== "";
  const testMode =
    choice === "cyrillic" || (result !== null && result !== "too-big" && result.script === "cyrillic" && result.changes.length > 0);

  useEffect(() => {
    alive.current = true;
    const made = urls.current;
    const running = workers.current;
    return () => {
      alive.current = false;
      for (const url of made) URL.revokeObjectURL(url);
      made.clear();
      for (const worker of running) worker.terminate();
      running.clear();
      clearTimeout(copiedTimer.current);
    };
  }, []);

  const update = (key: number, patch: Partial<Job>) =>
    setJobs((list) => list.map((job) => (job.key === key ? { ...job, ...patch } : job)));

  const convertFile = useCallback(
    async (file: File) => {
      const key = nextKey.current++;
      const size = sizeText(file.size);
      const source = `${file.name} · ${size}`;
      setJobs((list) => [{ key, file: file.name, size, source, status: "running" }, ...list]);
      const fail = (error: string) => update(key, { status: "error", error });

      if (file.size > MAX_FILE_BYTES) {
        fail(`Fayl juda katta (${sizeText(file.size)}). Chegara: ${LIMIT_MB} MB.`);
        return;
      }
      let buffer: ArrayBuffer;
      try {
        buffer = await file.arrayBuffer();
      } catch {
        if (alive.current) fail("Faylni o‘qib bo‘lmadi.");
        return;
      }
      if (!alive.current) return;

      let worker: Worker;
      try {
        worker = createWorker();
      } catch {
        fail("O‘girishda kutilmagan xato. Faylni tekshirib, qayta urinib ko‘ring.");
        return;
      }
      workers.current.add(worker);
      const stop = () => {
        worker.terminate();
        workers.current.delete(worker);
      };
      worker.onmessage = (event: MessageEvent<DocReply>) => {
        stop();
        if (!alive.current) return;
        const reply = event.data;
        if (!reply.ok) {
          fail(reply.error);
          return;
        }
        const url = URL.createObjectURL(new Blob([reply.buffer], { type: reply.mime }));
        urls.current.add(url);
        update(key, {
          status: "done",
          name: reply.name,
          url,
          changed: reply.changed,
          warnings: reply.warnings,
          cyr: reply.usedCyrillic,
        });
        setText(reply.source);
        setNotice(
          reply.truncated
            ? `Birinchi ${grouped(reply.source.length)} belgi ko‘rsatilgan (jami ${grouped(reply.chars)}); to‘liq natija faylda.`
            : "",
        );
        setWordNote(/\.docx$/i.test(file.name));
      };
      // A crash, or a reply that cannot be read back, would otherwise leave the card running.
      const crashed = (event: Event) => {
        event.preventDefault?.();
        stop();
        if (alive.current) fail("O‘girishda kutilmagan xato. Faylni tekshirib, qayta urinib ko‘ring.");
      };
      worker.onerror = crashed;
      worker.onmessageerror = crashed;
      const request: DocRequest = { id: key, name: file.name, buffer, script: choiceRef.current };
      worker.postMessage(request, [buffer]);
    },
    [createWorker],
  );

  const takeFiles = (files: FileList | null) => {
    for (const file of Array.from(files ?? [])) void convertFile(file);
  };

  const removeJob = (job: Job) => {
    if (job.url) {
      URL.revokeObjectURL(job.url);
      urls.current.delete(job.url);
    }
    setJobs((list) => list.filter((j) => j.key !== job.key));
  };

  const copy = async () => {
    if (!hasOutput) return;
    let done = false;
    try {
      await navigator.clipboard.writeText(output);
      done = true;
    } catch {
      done = copyThroughSelection(output);
    }
    if (!done || !alive.current) return;
    setCopied(true);
    clearTimeout(copiedTimer.current);
    copiedTimer.current = setTimeout(() => setCopied(false), COPIED_MS);
  };

  const clear = () => {
    setText("");
    setNotice("");
    setWordNote(false);
  };

  const onDrop = (event: DragEvent) => {
    event.preventDefault();
    setDragging(false);
    takeFiles(event.dataTransfer.files);
  };

  return (
    <div className="mx-auto flex max-w-[60rem] flex-col gap-4">
      <PageHeader
        eyebrow="Konvertor"
        title="Hujjat konvertori"
        subtitle="Eski lotin yoki kirilldagi (sinov rejimi) hujjatni yangi alifboga o‘giring. Fayl kompyuterdan chiqmaydi."
        className="mb-2"
      />

      <div className="flex flex-wrap items-center gap-3">
        <span className="text-body-sm font-medium text-muted-foreground">
          Kirish yozuvi:
        </span>
        <div
          role="group"
          aria-label="Yozuv turi"
          className="inline-flex items-center gap-1 rounded-control bg-secondary p-1 ring-1 ring-border/70 ring-inset"
        >
          {SCRIPTS.map((s) => (
            <button
              key={s.value}
              type="button"
              aria-pressed={choice === s.value}
              onClick={() => setChoice(s.value)}
              className={cn(
                "inline-flex h-8 items-center gap-1.5 rounded-md px-3.5 text-body-sm font-medium whitespace-nowrap transition-colors",
                choice === s.value
                  ? "bg-brand font-semibold text-white shadow-brand-sm"
                  : "text-muted-foreground hover:text-foreground",
              )}
            >
              {s.label}
              {s.badge && (
                <span
                  className={cn(
                    "rounded-full px-1.5 py-px text-[0.625rem] leading-4 font-bold tracking-wider",
                    choice === s.value ? "bg-white/20 text-white" : "bg-warning/12 text-warning-fg",
                  )}
                >
                  {s.badge}
                </span>
              )}
            </button>
          ))}
        </div>
      </div>

      <Card aria-label="Hujjatlar" className="p-5">
        <div
          data-testid="drop-zone"
          data-dragging={dragging || undefined}
          onDragEnter={(e) => {
            e.preventDefault();
            setDragging(true);
          }}
          onDragOver={(e) => {
            e.preventDefault();
            e.dataTransfer.dropEffect = "copy";
          }}
          onDragLeave={(e) => {
            if (!e.currentTarget.contains(e.relatedTarget as Node | null)) setDragging(false);
          }}
          onDrop={onDrop}
          className={cn(
            "flex flex-col items-center gap-4 rounded-control border-2 border-dashed px-5 py-5 text-center transition-colors sm:flex-row sm:text-left",
            dragging ? "border-brand bg-accent" : "border-input bg-secondary/60",
          )}
        >
          <div
            className={cn(
              "grid size-12 shrink-0 place-items-center rounded-full transition-colors",
              dragging ? "bg-brand text-white" : "bg-accent text-accent-foreground",
            )}
          >
            <FileUp className="size-5" strokeWidth={2} aria-hidden />
          </div>
          <div className="min-w-0 flex-1">
            <p className="text-subheading font-semibold">Hujjatni shu yerga tashlang</p>
            <p className="mt-0.5 text-small text-muted-foreground">
              .docx · .txt · .md · .html · .srt — {LIMIT_MB} MB gacha. Eski lotin va kirill yangi alifboga o‘giriladi
              (kirill: sinov rejimi).
            </p>
          </div>
          <Button variant="outline" onClick={() => picker.current?.click()}>
            Fayl tanlash
          </Button>
          <input
            ref={picker}
            type="file"
            multiple
            accept={PICKER_FILTER}
            hidden
            data-testid="file-picker"
            onChange={(e) => {
              takeFiles(e.currentTarget.files);
              e.currentTarget.value = "";
            }}
          />
        </div>
        <p className="mt-3 flex items-center gap-1.5 text-caption text-muted-foreground">
          <ShieldCheck className="size-3.5 text-success" aria-hidden />
          Fayl serverga yuborilmaydi: hammasi shu qurilmada o‘giriladi.
        </p>

        {jobs.length > 0 && (
          <ul aria-label="Fayllar" className="mt-4 flex flex-col gap-2">
            {jobs.map((job) => (
              <JobCard key={job.key} job={job} onRemove={() => removeJob(job)} />
            ))}
          </ul>
        )}
      </Card>

      {testMode && (
        <Banner tone="warning" title="SINOV REJIMI">
          {TEST_NOTICE}
        </Banner>
      )}

      <Card aria-label="Matn" className="p-5">
        <div className="grid gap-4 md:grid-cols-2">
          <div className="flex min-w-0 flex-col gap-2">
            <div className="flex h-8 items-center justify-between gap-2">
              <label htmlFor="converter-input" className="text-body-sm font-semibold">
                Kirish matni
              </label>
              <Button variant="ghost" size="sm" onClick={clear} disabled={text === ""}>
                <Eraser aria-hidden />
                Tozalash
              </Button>
            </div>
            <textarea
              id="converter-input"
              value={text}
              onChange={(e) => setText(e.target.value)}
              placeholder="Matnni shu yerga yozing yoki qo‘ying…"
              spellCheck={false}
              className={cn(textBox, "bg-card")}
            />
          </div>
          <div className="flex min-w-0 flex-col gap-2">
            <div className="flex h-8 items-center justify-between gap-2">
              <label htmlFor="converter-output" className="flex items-center gap-1.5 text-body-sm font-semibold">
                <ArrowRight className="size-4 text-brand md:hidden" aria-hidden />
                Natija
              </label>
              <Button variant={copied ? "secondary" : "default"} size="sm" onClick={copy} disabled={!hasOutput}>
                {copied ? <Check aria-hidden /> : <Copy aria-hidden />}
                {copied ? "Nusxalandi" : "Nusxalash"}
              </Button>
            </div>
            <textarea
              id="converter-output"
              value={output}
              readOnly
              placeholder="Natija shu yerda ko‘rinadi"
              spellCheck={false}
              data-too-big={result === "too-big" || undefined}
              className={cn(
                textBox,
                "bg-secondary/70",
                result === "too-big" && "font-medium text-warning-fg",
              )}
            />
          </div>
        </div>
        {result !== null && result !== "too-big" && <ResultDetails result={result} />}
      </Card>

      <div className="flex flex-col gap-1 px-1 pb-2 text-small text-muted-foreground">
        {notice && <p data-testid="notice-line" className="font-medium text-foreground">{notice}</p>}
        {wordNote && (
          <p data-testid="word-note" className="font-medium text-foreground">
            Oynada docx matni uslubsiz ko‘rinadi; yuklab olinadigan faylda uslub saqlanadi.
          </p>
        )}
        <p>Yuklab olinadigan fayl asl fayldan o‘giriladi; oynadagi tahrir unga ta’sir qilmaydi.</p>
        <p>Matn saqlanmaydi: sahifa yopilsa yo‘qoladi.</p>
      </div>
    </div>
  );
}

const textBox = cn(
  "h-60 min-h-32 w-full resize-y rounded-control border border-input px-3.5 py-3 text-body-sm leading-relaxed",
  "text-foreground placeholder:text-muted-foreground/70 focus-visible:border-brand focus-visible:outline-none",
  "focus-visible:ring-2 focus-visible:ring-ring/30",
);

/** Copies through a hidden, selected text area when the clipboard refuses. */
function copyThroughSelection(value: string): boolean {
  const area = document.createElement("textarea");
  area.value = value;
  area.setAttribute("readonly", "");
  area.style.position = "fixed";
  area.style.opacity = "0";
  document.body.appendChild(area);
  try {
    area.select();
    return document.execCommand("copy");
  } catch {
    return false;
  } finally {
    area.remove();
  }
}

function JobCard({ job, onRemove }: { job: Job; onRemove: () => void }) {
  const done = job.status === "done";
  // The counts, each kept on one line (a line may break between them).
  const count = (text: string) => (
    <>
      {" "}
      <span className="whitespace-nowrap">{`· ${text}`}</span>
    </>
  );
  return (
    <li
      data-testid="job"
      data-status={job.status}
      className="rounded-control border border-border bg-card px-4 py-3 transition-colors"
    >
      <div className="flex items-center gap-3">
        <div
          className={cn(
            "grid size-9 shrink-0 place-items-center rounded-lg",
            job.status === "error" ? "bg-destructive/10 text-destructive" : "bg-accent text-accent-foreground",
          )}
        >
          <FileText className="size-[18px]" aria-hidden />
        </div>
        <div className="min-w-0 flex-1">
          <p data-job-title className="truncate text-body-sm font-semibold" title={done ? job.name : job.source}>
            {done ? job.name : job.source}
          </p>
          {/* a failed card's status line is its source, which the title already reads */}
          {/* The counts always show whole, wrapping as text does: the file's name gives way
              (cut short at most of the line, its full text as a tooltip). */}
          {job.status !== "error" && (
            <p data-job-status className="text-caption text-muted-foreground">
              {done ? (
                <>
                  <span data-job-file className="inline-block max-w-[65%] truncate align-bottom" title={job.file}>
                    {job.file}
                  </span>
                  <span className="whitespace-nowrap">{` · ${job.size}`}</span>
                  <span data-job-counts>
                    {count(`${job.changed} ta o‘zgarish`)}
                    {job.warnings ? (
                      <>
                        {count(`${job.warnings} ta ogohlantirish`)} (natijani ko‘zdan kechiring)
                      </>
                    ) : null}
                    {job.cyr && count("KIRILL: SINOV REJIMI")}
                  </span>
                </>
              ) : (
                "O‘girilmoqda…"
              )}
            </p>
          )}
        </div>
        {job.status === "running" && (
          <LoaderCircle role="img" aria-label="Kuting" className="size-5 shrink-0 animate-spin text-brand" />
        )}
        {done && job.url && (
          <a href={job.url} download={job.name} className={buttonVariants({ size: "sm" })}>
            <Download aria-hidden />
            Yuklab olish
          </a>
        )}
        {job.status !== "running" && (
          <Button variant="ghost" size="icon" className="size-8" aria-label="Olib tashlash" onClick={onRemove}>
            <X aria-hidden />
          </Button>
        )}
      </div>
      {job.status === "error" && job.error && (
        <p role="alert" className="mt-2.5 rounded-lg bg-destructive/8 px-3 py-2 text-small text-danger-fg">
          {job.error}
        </p>
      )}
      {done && job.cyr && (
        <Banner tone="warning" title="SINOV REJIMI" className="mt-2.5 py-2.5">
          {TEST_NOTICE}
        </Banner>
      )}
    </li>
  );
}

/** Counts, the replacements made and every doubtful place of the live result. */
function ResultDetails({ result }: { result: TextResult }) {
  const slice = useMemo(() => codePointSlicer(result.input), [result.input]);
  const replacements = useMemo(() => {
    const counts = new Map<string, { from: string; to: string; count: number }>();
    for (const c of result.changes) {
      const from = slice(c.start, c.end);
      const id = `${from}\u0000${c.to}`;
      const entry = counts.get(id);
      if (entry) entry.count++;
      else counts.set(id, { from, to: c.to, count: 1 });
    }
    return [...counts.values()].sort((a, b) => b.count - a.count);
  }, [result, slice]);
  // The same doubt about the same word is listed once, with its count.
  const doubts = useMemo(() => {
    const seen = new Map<string, { word: string; kind: string; message: string; suggestion?: string; count: number }>();
    for (const w of result.warnings) {
      const word = slice(w.start, w.end);
      const suggestion = "suggestion" in w ? w.suggestion : undefined;
      const id = `${w.kind}\u0000${word}\u0000${suggestion ?? ""}`;
      const entry = seen.get(id);
      if (entry) entry.count++;
      else seen.set(id, { word, kind: w.kind, message: w.message, suggestion, count: 1 });
    }
    return [...seen.values()];
  }, [result, slice]);
  const warnings = result.warnings;
  if (result.changes.length === 0 && warnings.length === 0) return null;

  return (
    <div className="mt-4 border-t border-border pt-4">
      <p data-testid="live-counts" className="text-body-sm font-semibold">
        {result.changes.length} ta o‘zgarish
        {warnings.length > 0 && <span className="text-warning-fg"> · {warnings.length} ta ogohlantirish</span>}
      </p>
      {replacements.length > 0 && (
        <ul aria-label="O‘zgarishlar" className="mt-2.5 flex flex-wrap gap-1.5">
          {replacements.slice(0, SHOWN_CHANGES).map((r) => (
            <li
              key={`${r.from}\u0000${r.to}`}
              className="inline-flex items-center gap-1.5 rounded-full bg-secondary px-2.5 py-0.5 text-caption ring-1 ring-border ring-inset"
            >
              <span className="font-mono text-muted-foreground">{r.from}</span>
              <ArrowRight className="size-3 text-muted-foreground" aria-label="→" />
              <span className="font-mono font-semibold text-foreground">{r.to}</span>
              {r.count > 1 && <span className="text-muted-foreground">×{r.count}</span>}
            </li>
          ))}
          {replacements.length > SHOWN_CHANGES && (
            <li className="px-1 py-0.5 text-caption text-muted-foreground">
              va yana {replacements.length - SHOWN_CHANGES} ta
            </li>
          )}
        </ul>
      )}
      {doubts.length > 0 && (
        <ul aria-label="Ogohlantirishlar" className="mt-3 flex max-h-72 flex-col gap-1.5 overflow-y-auto pr-1">
          {doubts.slice(0, SHOWN_WARNINGS).map((d) => (
            <li
              key={`${d.kind}\u0000${d.word}\u0000${d.suggestion ?? ""}`}
              data-kind={d.kind}
              className="flex gap-3 rounded-lg border border-warning/20 bg-warning/6 px-3 py-2 text-small"
            >
              {d.word && (
                <span
                  className="w-28 shrink-0 truncate font-mono font-semibold text-foreground"
                  title={d.word}
                >
                  {d.word}
                  {d.count > 1 && <span className="ml-1 font-sans font-normal text-muted-foreground">×{d.count}</span>}
                </span>
              )}
              <span className="min-w-0 flex-1 text-foreground/80">
                {d.message}
                {d.suggestion !== undefined && (
                  <span className="ml-1 whitespace-nowrap">
                    Muqobil: <span className="font-mono font-semibold text-foreground">{d.suggestion}</span>
                  </span>
                )}
              </span>
            </li>
          ))}
          {doubts.length > SHOWN_WARNINGS && (
            <li className="px-1 text-caption text-muted-foreground">va yana {doubts.length - SHOWN_WARNINGS} ta</li>
          )}
        </ul>
      )}
    </div>
  );
}
