import { FolderOpen } from "lucide-react";
import { useEffect, useRef, useState, type ReactNode } from "react";
import { toast } from "sonner";
import { Banner } from "../../components/ui/Banner";
import { Button } from "../../components/ui/Button";
import { Dialog, DialogClose, DialogContent } from "../../components/ui/Dialog";
import { SearchField } from "../../components/ui/SearchField";
import { Skeleton } from "../../components/ui/Skeleton";
import { MODES } from "../../lib/modes";
import type { AppInfo, AppRule, ModeName } from "../../lib/types";
import { AppIcon } from "./AppIcon";
import { normaliseSearch } from "./rows";

interface AddAppDialogProps {
  open: boolean;
  onOpenChange: (open: boolean) => void;
  rules: AppRule[];
  defaultMode: ModeName;
  /** A rule was added: the page reloads its running list. */
  onAdded: () => void;
}

interface Lists {
  running: AppInfo[] | null;
  installed: AppInfo[] | null;
  error: boolean;
}

const EMPTY: Lists = { running: null, installed: null, error: false };

/** Picks a program that has no rule yet, from the running and installed lists or by its file. */
export function AddAppDialog({ open, onOpenChange, rules, defaultMode, onAdded }: AddAppDialogProps) {
  const [search, setSearch] = useState("");
  const [lists, setLists] = useState<Lists>(EMPTY);
  // Answers of an earlier opening (or an earlier retry) are dropped.
  const generation = useRef(0);

  const load = () => {
    const uz = window.uz;
    const mine = ++generation.current;
    setLists(EMPTY);
    if (!uz) return;
    const take = (patch: Partial<Lists>) => {
      if (generation.current === mine) setLists((now) => ({ ...now, ...patch }));
    };
    uz.listInstalledApps().then(
      (installed) => take({ installed }),
      () => take({ installed: [] }),
    );
    uz.listRunningApps().then(
      (running) => take({ running }),
      () => take({ running: [], error: true }),
    );
  };

  useEffect(() => {
    if (!open) {
      generation.current++;
      return;
    }
    setSearch("");
    load();
    // Each opening starts afresh.
  }, [open]);

  const add = async (app: AppInfo) => {
    const uz = window.uz;
    if (!uz) return;
    try {
      await uz.setAppMode(app.exe, app.name, defaultMode);
    } catch {
      return; // Nothing was added; the dialog stays for another try.
    }
    toast(`${app.name}: ${MODES[defaultMode].label}. Rejimni ro‘yxatda o‘zgartirishingiz mumkin.`);
    onAdded();
    onOpenChange(false);
  };

  const pickFile = async () => {
    let picked: AppInfo | null = null;
    try {
      picked = (await window.uz?.pickAppFile()) ?? null;
    } catch {
      picked = null;
    }
    if (picked) await add(picked);
  };

  const s = normaliseSearch(search);
  const ruled = new Set(rules.map((rule) => rule.exe.toLowerCase()));
  const matches = (app: AppInfo) => !s || app.name.toLowerCase().includes(s) || app.exe.includes(s);
  const candidates = (list: AppInfo[] | null, skip: Set<string>) => {
    const out: AppInfo[] = [];
    for (const app of list ?? []) {
      const exe = app.exe.toLowerCase();
      if (ruled.has(exe) || skip.has(exe)) continue;
      skip.add(exe);
      if (matches(app)) out.push(app);
    }
    return out;
  };
  const taken = new Set<string>();
  const running = candidates(lists.running, taken);
  // Installed programs that are running already sit in the first group.
  for (const app of lists.running ?? []) taken.add(app.exe.toLowerCase());
  const installed = candidates(lists.installed, taken);

  const loaded = lists.running !== null && lists.installed !== null;
  const nothing = loaded && !lists.error && running.length === 0 && installed.length === 0;

  return (
    <Dialog open={open} onOpenChange={onOpenChange}>
      <DialogContent
        title="Dastur qo‘shish"
        description="Ochiq yoki o‘rnatilgan dasturlardan birini bir bosishda tanlang."
        className="max-w-lg"
      >
        <SearchField
          value={search}
          onChange={setSearch}
          placeholder="Dastur nomini qidiring"
          label="Dastur qidirish"
          className="mt-4 block"
        />

        {lists.error && (
          <Banner
            tone="warning"
            className="mt-3"
            action={
              <Button size="sm" variant="outline" onClick={load}>
                Qayta urinish
              </Button>
            }
          >
            Ochiq dasturlar ro‘yxatini olib bo‘lmadi. Faylni o‘zingiz ko‘rsating.
          </Banner>
        )}

        <div className="-mx-2 mt-3 max-h-[18rem] overflow-y-auto px-2" data-testid="candidates">
          {(lists.running === null || running.length > 0) && (
            <Group title="Hozir ochiq">
              {lists.running === null
                ? [0, 1, 2].map((i) => <PlaceholderEntry key={i} />)
                : running.map((app) => <Entry key={app.exe} app={app} onChoose={add} />)}
            </Group>
          )}
          {installed.length > 0 && (
            <Group title="O‘rnatilgan dasturlar">
              {installed.map((app) => (
                <Entry key={app.exe} app={app} onChoose={add} />
              ))}
            </Group>
          )}
          {nothing && (
            <div className="px-4 py-8 text-center">
              <p className="text-body-sm font-semibold">Dastur topilmadi</p>
              <p className="mt-1 text-small text-muted-foreground">
                Nomini boshqacha yozing yoki faylini o‘zingiz ko‘rsating.
              </p>
            </div>
          )}
        </div>

        <div className="mt-5 flex flex-wrap items-center gap-3 border-t pt-4">
          <p className="min-w-0 flex-1 text-small text-muted-foreground">
            Ro‘yxatda yo‘qmi? Dastur faylini o‘zingiz ko‘rsating.
          </p>
          <Button variant="outline" size="sm" onClick={pickFile}>
            <FolderOpen aria-hidden />
            .exe tanlash
          </Button>
          <DialogClose asChild>
            <Button variant="secondary" size="sm">
              Bekor qilish
            </Button>
          </DialogClose>
        </div>
      </DialogContent>
    </Dialog>
  );
}

function Group({ title, children }: { title: string; children: ReactNode }) {
  return (
    <section className="mb-3 last:mb-0">
      <h3 className="mb-1 px-2 text-caption font-semibold tracking-wider text-muted-foreground uppercase">{title}</h3>
      <ul className="flex flex-col">{children}</ul>
    </section>
  );
}

function Entry({ app, onChoose }: { app: AppInfo; onChoose: (app: AppInfo) => void }) {
  return (
    <li>
      <button
        type="button"
        aria-label={`${app.name} (${app.exe}) qoidasini qo‘shish`}
        onClick={() => onChoose(app)}
        className="flex w-full items-center gap-3 rounded-control px-2 py-2 text-left transition-colors hover:bg-accent focus-visible:bg-accent focus-visible:outline-none"
      >
        <AppIcon name={app.name} icon={app.icon} />
        <span className="min-w-0 flex-1">
          <span className="block truncate text-body-sm font-medium">{app.name}</span>
          <span className="block truncate font-mono text-caption text-muted-foreground">{app.exe}</span>
        </span>
      </button>
    </li>
  );
}

function PlaceholderEntry() {
  return (
    <li data-testid="candidate-placeholder" className="flex items-center gap-3 px-2 py-2">
      <Skeleton className="size-8" />
      <span className="flex flex-1 flex-col gap-1.5">
        <Skeleton className="h-3.5 w-40" />
        <Skeleton className="h-3 w-24" />
      </span>
    </li>
  );
}
