import { AppWindow, Plus, SearchX, Trash2 } from "lucide-react";
import { useEffect, useRef, useState } from "react";
import { toast } from "sonner";
import { PageHeader } from "../components/PageHeader";
import { StatusBadge } from "../components/ui/Badge";
import { Banner } from "../components/ui/Banner";
import { Button } from "../components/ui/Button";
import { Card } from "../components/ui/Card";
import { ConfirmDialog } from "../components/ui/AlertDialog";
import { EmptyState } from "../components/ui/EmptyState";
import { SearchField } from "../components/ui/SearchField";
import { Select, SelectContent, SelectItem, SelectTrigger, SelectValue } from "../components/ui/Select";
import { Skeleton } from "../components/ui/Skeleton";
import { Tabs, TabsList, TabsTrigger } from "../components/ui/Tabs";
import type { AppInfo, RuleMode, Snapshot } from "../lib/types";
import { usePageVisible } from "../lib/visibility";
import { cn } from "../lib/utils";
import { AddAppDialog } from "./apps/AddAppDialog";
import { AppIcon } from "./apps/AppIcon";
import {
  buildRows,
  defaultNewMode,
  filterRows,
  globalLabel,
  iconLookup,
  RULE_OPTIONS,
  type AppFilter,
  type AppRow,
} from "./apps/rows";

/** How often the "open" marks are brought up to date. */
export const RUNNING_REFRESH_MS = 5000;

const FILTERS: { value: AppFilter; label: string }[] = [
  { value: "all", label: "Hammasi" },
  { value: "rule", label: "Qoida bor" },
  { value: "open", label: "Hozir ochiq" },
];

const ignore = () => {};

/** The running list, refreshed while the page is shown; a failed refresh keeps the last list. */
function useRunningApps() {
  const [running, setRunning] = useState<AppInfo[] | null>(null);
  const [error, setError] = useState(false);
  const live = useRef(true);
  // A slow answer must not overwrite a newer one.
  const asked = useRef(0);
  const applied = useRef(0);

  const refresh = async () => {
    const uz = window.uz;
    if (!uz) return;
    const mine = ++asked.current;
    let list: AppInfo[] | null = null;
    try {
      const answer = await uz.listRunningApps();
      list = Array.isArray(answer) ? answer : [];
    } catch {
      list = null;
    }
    if (!live.current || mine < applied.current) return;
    applied.current = mine;
    if (list) {
      setRunning(list);
      setError(false);
    } else {
      setRunning((old) => old ?? []);
      setError(true);
    }
  };

  useEffect(() => {
    live.current = true;
    return () => {
      live.current = false;
    };
  }, []);

  // Only while the window is shown; shown again, the list is read at once.
  const visible = usePageVisible();
  useEffect(() => {
    if (!visible) return;
    void refresh();
    const timer = setInterval(() => void refresh(), RUNNING_REFRESH_MS);
    return () => clearInterval(timer);
  }, [visible]);

  return { running, error, refresh };
}

/** Per-program rules: the table of ruled and running programs, search, filter, add and remove. */
export function AppsPage({ state }: { state: Snapshot }) {
  const { running, error, refresh } = useRunningApps();
  const [installed, setInstalled] = useState<AppInfo[]>([]);
  const [search, setSearch] = useState("");
  const [filter, setFilter] = useState<AppFilter>("all");
  const [adding, setAdding] = useState(false);
  const [removing, setRemoving] = useState<AppRow | null>(null);
  // The rule removed from the confirmation, until its row has lost its remove button.
  const removed = useRef<{ exe: string; index: number } | null>(null);
  const table = useRef<HTMLTableSectionElement>(null);
  const addButton = useRef<HTMLButtonElement>(null);
  const uz = window.uz;

  useEffect(() => {
    let live = true;
    window.uz?.listInstalledApps().then(
      (list) => live && setInstalled(Array.isArray(list) ? list : []),
      ignore,
    );
    return () => {
      live = false;
    };
  }, []);

  const rules = state.settings.apps;
  const rows = buildRows(rules, running ?? [], state.currentApp);
  const visible = filterRows(rows, filter, search);
  const iconOf = iconLookup(running ?? [], installed);
  const pending = running === null;
  const trimmed = search.trim();

  /** Offers to put the rule back after it was dropped. */
  const undoNotice = (text: string, row: AppRow, previous: RuleMode) =>
    toast(text, {
      action: {
        label: "Qaytarish",
        onClick: () => void uz?.setAppMode(row.exe, row.name, previous).catch(ignore),
      },
    });

  /** Answers whether the rule was dropped. */
  const dropRule = async (row: AppRow, notice: string): Promise<boolean> => {
    const previous = row.mode;
    if (!uz || previous === null) return false;
    try {
      await uz.setAppMode(row.exe, null, null);
    } catch {
      return false;
    }
    undoNotice(notice, row, previous);
    return true;
  };

  // The confirmation gave the focus back to the remove button; once the rule is gone, so is
  // the button (and the row, unless the program runs). The focus then goes to the row's mode,
  // else to the row now in its place, else to "Dastur qo‘shish", unless the user has put it
  // somewhere meanwhile.
  useEffect(() => {
    const gone = removed.current;
    if (gone === null) return;
    const rows = [...(table.current?.querySelectorAll<HTMLElement>("tr[data-exe]") ?? [])];
    const same = rows.find((tr) => tr.dataset.exe === gone.exe);
    if (same?.querySelector("[data-remove]")) return;
    removed.current = null;
    const active = document.activeElement;
    if (active !== null && active !== document.body) return;
    const row = same ?? rows[Math.min(gone.index, rows.length - 1)];
    (row?.querySelector<HTMLElement>('[role="combobox"]') ?? addButton.current)?.focus();
  });

  const changeRule = (row: AppRow, value: string) => {
    if (value === "default") {
      void dropRule(row, `${row.name}: umumiy rejim (${globalLabel(state)})`);
      return;
    }
    uz?.setAppMode(row.exe, row.name, value as RuleMode).catch(ignore);
  };

  const openAdd = () => setAdding(true);

  return (
    <div className="mx-auto flex max-w-[52rem] flex-col gap-4">
      <PageHeader
        eyebrow="Dasturlar"
        title="Dasturlar"
        subtitle="Har bir dastur uchun alohida rejim tanlang."
        className="mb-2"
      />

      <div className="flex flex-wrap items-center gap-3">
        <SearchField
          value={search}
          onChange={setSearch}
          placeholder="Dastur qidirish"
          label="Dastur qidirish"
          className="min-w-48 flex-1"
        />
        <Tabs value={filter} onValueChange={(value) => setFilter(value as AppFilter)}>
          <TabsList aria-label="Filtr">
            {FILTERS.map((f) => (
              <TabsTrigger key={f.value} value={f.value}>
                {f.label}
              </TabsTrigger>
            ))}
          </TabsList>
        </Tabs>
        <Button ref={addButton} onClick={openAdd}>
          <Plus aria-hidden strokeWidth={2.5} />
          Dastur qo‘shish
        </Button>
      </div>

      {error && (
        <Banner
          tone="warning"
          action={
            <Button size="sm" variant="outline" onClick={() => void refresh()}>
              Qayta urinish
            </Button>
          }
        >
          Ochiq dasturlar ro‘yxatini olib bo‘lmadi. Qoidalar saqlangan, «Hozir ochiq» belgisi vaqtincha ko‘rinmaydi.
        </Banner>
      )}

      <Card className="overflow-hidden">
        {visible.length > 0 || pending ? (
          <div className="max-h-[22rem] overflow-y-auto" data-testid="apps-table">
            <table className="w-full border-collapse text-left text-body-sm">
              <thead className="sticky top-0 z-10 bg-card">
                <tr className="text-caption font-semibold tracking-wider text-muted-foreground uppercase">
                  <th scope="col" className="border-b py-3 pr-3 pl-5 font-semibold">
                    Dastur
                  </th>
                  <th scope="col" className="w-48 border-b px-3 py-3 font-semibold">
                    Rejim
                  </th>
                  <th scope="col" className="w-32 border-b px-3 py-3 font-semibold">
                    Holat
                  </th>
                  <th scope="col" className="w-14 border-b py-3 pr-4 pl-2">
                    <span className="sr-only">Amallar</span>
                  </th>
                </tr>
              </thead>
              <tbody ref={table}>
                {visible.length === 0
                  ? [0, 1, 2, 3].map((i) => <PlaceholderRow key={i} />)
                  : visible.map((row) => (
                      <AppTableRow
                        key={row.exe}
                        row={row}
                        icon={iconOf(row.exe)}
                        pending={pending}
                        onChange={(value) => changeRule(row, value)}
                        onRemove={() => setRemoving(row)}
                      />
                    ))}
              </tbody>
            </table>
          </div>
        ) : trimmed ? (
          <EmptyState
            icon={SearchX}
            title={`“${trimmed}” bo‘yicha hech narsa topilmadi`}
            text="Nomni tekshirib ko‘ring yoki dasturni qo‘lda qo‘shing."
            action={
              <div className="flex flex-wrap justify-center gap-2">
                <Button variant="secondary" onClick={() => setSearch("")}>
                  Qidiruvni tozalash
                </Button>
                <Button onClick={openAdd}>Dastur qo‘shish</Button>
              </div>
            }
          />
        ) : filter === "open" ? (
          <EmptyState
            icon={AppWindow}
            title="Hozir ochiq dastur topilmadi"
            text="Dasturni oching yoki «Hammasi» ro‘yxatiga qayting."
            action={
              <Button variant="outline" onClick={() => setFilter("all")}>
                Hammasi
              </Button>
            }
          />
        ) : (
          <EmptyState
            icon={AppWindow}
            title="Hali dastur qoidasi yo‘q"
            text="Barcha dasturlarda umumiy rejim ishlaydi. Alohida rejim kerak bo‘lsa, ochiq dasturlardan tanlang yoki .exe faylini ko‘rsating."
            action={<Button onClick={openAdd}>Dastur qo‘shish</Button>}
          />
        )}
      </Card>

      <p className="px-1 text-small text-muted-foreground">
        Faqat .exe nomi saqlanadi. Brauzer ichidagi sayt yoki tab uchun alohida qoida yo‘q. Parol maydoni va
        administrator oynalari har doim istisno.
      </p>

      <AddAppDialog
        open={adding}
        onOpenChange={setAdding}
        rules={rules}
        defaultMode={defaultNewMode(state.settings)}
        onAdded={() => void refresh()}
      />

      <ConfirmDialog
        open={removing !== null}
        onOpenChange={(open) => !open && setRemoving(null)}
        destructive
        title={`${removing?.name ?? ""} qoidasi olib tashlansinmi?`}
        description={`${removing?.exe ?? ""} umumiy rejimga qaytadi. Dasturning o‘zi o‘chmaydi va yozganingiz o‘zgarmaydi.`}
        confirmLabel="Olib tashlash"
        cancelLabel="Bekor qilish"
        onConfirm={() => {
          if (removing) {
            const mine = { exe: removing.exe, index: visible.findIndex((row) => row.exe === removing.exe) };
            removed.current = mine;
            void dropRule(removing, `${removing.name} qoidasi olib tashlandi`).then((dropped) => {
              if (!dropped && removed.current === mine) removed.current = null;
            });
          }
          setRemoving(null);
        }}
      />
    </div>
  );
}

interface AppTableRowProps {
  row: AppRow;
  icon?: string;
  /** The first running list has not come yet: the state column waits. */
  pending: boolean;
  onChange: (value: string) => void;
  onRemove: () => void;
}

function AppTableRow({ row, icon, pending, onChange, onRemove }: AppTableRowProps) {
  return (
    <tr className="group border-b transition-colors last:border-b-0 hover:bg-muted/60" data-exe={row.exe}>
      <td className="py-2.5 pr-3 pl-5">
        <div className="flex min-w-0 items-center gap-3">
          <AppIcon name={row.name} icon={icon} />
          <div className="min-w-0">
            <p className="truncate font-medium">{row.name}</p>
            <p className="truncate font-mono text-caption text-muted-foreground">{row.exe}</p>
          </div>
        </div>
      </td>
      <td className="px-3 py-2.5">
        <Select value={row.mode ?? "default"} onValueChange={onChange}>
          <SelectTrigger
            aria-label={`${row.name}: rejim`}
            className={cn("h-9 w-full", row.mode === null && "text-muted-foreground")}
          >
            <SelectValue />
          </SelectTrigger>
          <SelectContent>
            {RULE_OPTIONS.map((option) => (
              <SelectItem key={option.value} value={option.value}>
                {option.label}
              </SelectItem>
            ))}
          </SelectContent>
        </Select>
      </td>
      <td className="px-3 py-2.5">
        {pending ? (
          <Skeleton data-testid="state-placeholder" className="h-5 w-20 rounded-full" />
        ) : row.open ? (
          <StatusBadge tone="green">Hozir ochiq</StatusBadge>
        ) : (
          <StatusBadge tone="grey">Yopiq</StatusBadge>
        )}
      </td>
      <td className="py-2.5 pr-4 pl-2 text-right">
        {row.mode !== null && (
          <Button
            variant="ghost"
            size="icon"
            data-remove
            aria-label={`${row.name} qoidasini olib tashlash`}
            title={`${row.name} qoidasini olib tashlash`}
            onClick={onRemove}
            className="size-8 text-muted-foreground hover:bg-destructive/10 hover:text-destructive"
          >
            <Trash2 aria-hidden />
          </Button>
        )}
      </td>
    </tr>
  );
}

function PlaceholderRow() {
  return (
    <tr data-testid="row-placeholder" className="border-b last:border-b-0">
      <td className="py-3 pr-3 pl-5">
        <div className="flex items-center gap-3">
          <Skeleton className="size-8" />
          <div className="flex flex-col gap-1.5">
            <Skeleton className="h-3.5 w-32" />
            <Skeleton className="h-3 w-20" />
          </div>
        </div>
      </td>
      <td className="px-3 py-3">
        <Skeleton className="h-9 w-full rounded-control" />
      </td>
      <td className="px-3 py-3">
        <Skeleton className="h-5 w-20 rounded-full" />
      </td>
      <td />
    </tr>
  );
}
