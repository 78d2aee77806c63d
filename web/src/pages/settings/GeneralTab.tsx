import { useState } from "react";
import { useNavigate } from "react-router";
import { ConfirmDialog } from "../../components/ui/AlertDialog";
import { Button } from "../../components/ui/Button";
import { Select, SelectContent, SelectItem, SelectTrigger, SelectValue } from "../../components/ui/Select";
import { Switch } from "../../components/ui/Switch";
import { Tabs, TabsList, TabsTrigger } from "../../components/ui/Tabs";
import { MODE_TABS } from "../../components/home/homeView";
import { ruleLabel } from "../../lib/modes";
import type { RuleMode, Settings, Snapshot } from "../../lib/types";
import { KeyboardSection } from "./KeyboardSection";
import { KeysEditor } from "./KeysEditor";
import { SettingRow, SettingsCard } from "./SettingRow";

const ignore = () => {};

const THEMES = [
  { value: "system", label: "Tizim" },
  { value: "light", label: "Yorug‘" },
  { value: "dark", label: "Qorong‘i" },
] as const;

/** The theme tab that matches how the page looks: an unknown value draws the light look. */
export function themeTab(theme: string): (typeof THEMES)[number]["value"] {
  return theme === "system" || theme === "dark" ? theme : "light";
}

/** Sends one settings key. */
function patch(change: Partial<Settings>) {
  window.uz?.patchSettings(change).catch(ignore);
}

/** Picks the global mode the way the home page's tabs do. */
async function chooseMode(value: string, wasEnabled: boolean) {
  const uz = window.uz;
  if (!uz) return;
  const mode = value as RuleMode;
  try {
    if (mode === "off") {
      await uz.setEnabled(false);
      return;
    }
    await uz.setMode(mode);
    if (!wasEnabled) await uz.setEnabled(true);
  } catch {
    // A refused command changes nothing; the next Snapshot shows the truth.
  }
}

/** The general tab: mode, look, start-up, welcome, offers, checker; then the keyboard and key editors. */
export function GeneralTab({ state }: { state: Snapshot }) {
  const navigate = useNavigate();
  const { settings } = state;
  const kill = state.killSwitch.active;
  const [rerun, setRerun] = useState(false);
  const current: RuleMode = settings.enabled ? settings.mode : "off";

  return (
    <div className="flex flex-col gap-6">
      <SettingsCard>
        <SettingRow
          id="set-mode"
          title="Umumiy rejim"
          hint={
            kill
              ? "Xizmat vaqtincha to‘xtatilgan: hozircha yoqib bo‘lmaydi."
              : "Qoidasi yo‘q dasturlar uchun ishlaydi."
          }
          control={
            <Select value={current} onValueChange={(value) => void chooseMode(value, settings.enabled)} disabled={kill}>
              <SelectTrigger aria-labelledby="set-mode" className="w-44">
                <SelectValue />
              </SelectTrigger>
              <SelectContent>
                {MODE_TABS.map((tab) => (
                  <SelectItem key={tab.value} value={tab.value}>
                    {tab.label}
                  </SelectItem>
                ))}
              </SelectContent>
            </Select>
          }
        />
        <SettingRow
          id="set-theme"
          title="Mavzu"
          hint="Tizim sozlamasiga ergashadi yoki doim yorug‘ / qorong‘i."
          control={
            <Tabs value={themeTab(settings.theme)} onValueChange={(theme) => patch({ theme })} activationMode="manual">
              <TabsList aria-labelledby="set-theme">
                {THEMES.map((t) => (
                  <TabsTrigger key={t.value} value={t.value}>
                    {t.label}
                  </TabsTrigger>
                ))}
              </TabsList>
            </Tabs>
          }
        />
        <SettingRow
          id="set-startup"
          title="Windows bilan ishga tushish"
          hint="Kompyuter yoqilganda Harvel tray‘da o‘zi ochiladi."
          control={
            <Switch
              aria-labelledby="set-startup"
              checked={settings.startup}
              onCheckedChange={(startup) => patch({ startup })}
            />
          }
        />
        <SettingRow
          title="Welcome ni qayta ko‘rish"
          hint="Tanishuv, rejim tanlash va jonli sinovni qaytadan ko‘ring."
          control={
            <Button variant="outline" size="sm" onClick={() => setRerun(true)}>
              Qayta ko‘rish
            </Button>
          }
        />
        <SettingRow
          id="set-offers"
          title="Hamkor takliflarini ko‘rsatish"
          hint="«Haqida» bo‘limida. Yozishga ta’sir qilmaydi."
          control={
            <Switch
              aria-labelledby="set-offers"
              checked={settings.offers}
              onCheckedChange={(offers) => patch({ offers })}
            />
          }
        />
        <SettingRow
          id="set-checker"
          title="Realtime tekshiruvchi"
          hint="Xato yozilgan so‘z (shahar) tagiga qizil to‘lqinli chiziq chiziladi; yoniga chiqqan belgini bossangiz tuzatish taklifi ochiladi (Ctrl+Shift+Space ham ishlaydi). Joyni Windows UI Automation orqali topadi (matn o‘qilmaydi, faqat so‘zning ekrandagi o‘rni); Notepad, Word, WPF/UWP va klassik Windows maydonlarida kutiladi. Telegram, brauzerlar, VS Code va o‘yinlarda ko‘pincha ishlamaydi: u yerda chiziq chiqmaydi. Faqat joriy so‘z xotirada turadi, saqlanmaydi. Parol maydonlarida va administrator oynalarida ishlamaydi."
          control={
            <Switch
              aria-labelledby="set-checker"
              checked={settings.checker}
              onCheckedChange={(checker) => patch({ checker })}
            />
          }
        />
        <SettingRow
          id="set-checker-toast"
          title="Eski ko‘rsatkich (toast)"
          hint="Chiziqdan tashqari, xato so‘z haqida ekran burchagida kichik xabar ham chiqadi. Standart: o‘chiq."
          className="pl-10"
          control={
            <Switch
              aria-labelledby="set-checker-toast"
              checked={settings.checkerToast}
              disabled={!settings.checker}
              onCheckedChange={(checkerToast) => patch({ checkerToast })}
            />
          }
        />
      </SettingsCard>

      <KeyboardSection state={state} />
      <KeysEditor settings={settings} />

      <ConfirmDialog
        open={rerun}
        onOpenChange={setRerun}
        title="Welcome’ni qayta ochish"
        description="3 qadamni boshidan o‘tasiz. Joriy sozlamalar siz tasdiqlamaguncha o‘zgarmaydi."
        confirmLabel="Ochish"
        cancelLabel="Yopish"
        onConfirm={() => navigate("/welcome")}
      >
        <p className="mt-3 text-body-sm text-muted-foreground">
          <strong className="font-semibold text-foreground">Joriy rejim: {ruleLabel(current)}.</strong> Qayta
          ochganda shu rejim oldindan belgilanadi.
        </p>
        <p className="mt-3 rounded-control bg-muted px-3 py-2 text-small text-muted-foreground">
          Eslatma: sinov maydonidagi matn saqlanmaydi va tashqariga chiqmaydi.
        </p>
      </ConfirmDialog>
    </div>
  );
}
