import { useState } from "react";
import { ConfirmDialog } from "../../components/ui/AlertDialog";
import { Banner } from "../../components/ui/Banner";
import { Button } from "../../components/ui/Button";
import { Select, SelectContent, SelectItem, SelectTrigger, SelectValue } from "../../components/ui/Select";
import type { Settings } from "../../lib/types";
import {
  DEFAULT_KEYS,
  EXTRA_KEYS,
  extraKeyById,
  FAST_KEY_CHOICES,
  keySetFromSettings,
  SLOTS,
  type KeySet,
} from "../../typing/keys";
import { defaultKeysText, isDefaultKeys, keyWarnings, SLOT_LABELS, withExtraKey, withFastKey } from "./keysEditor";
import { SettingRow, SettingsCard } from "./SettingRow";

/** Both keys go in one patch, so the native side never sees a half-changed set. */
function apply(keys: KeySet) {
  window.uz?.patchSettings({ hybridKey: keys.hybrid, fastKeys: { ...keys.fast } }).catch(() => {});
}

/** The extra key and the four fast keys; anything but the defaults is confirmed first. */
export function KeysEditor({ settings }: { settings: Pick<Settings, "hybridKey" | "fastKeys"> }) {
  const current = keySetFromSettings(settings);
  const extra = extraKeyById(current.hybrid);
  const [pending, setPending] = useState<KeySet | null>(null);

  const request = (keys: KeySet) => {
    if (isDefaultKeys(keys)) apply(keys);
    else setPending(keys);
  };

  const fastCodes = new Set(SLOTS.map((slot) => current.fast[slot]));

  return (
    <SettingsCard heading="Tugmalar">
      <SettingRow
        id="keys-extra"
        title="Qo‘shimcha tugma"
        hint="Hybrid’da yangi harf shu tugma bilan chiqadi; Fast’da u bilan tugmaning o‘z belgisi yoziladi."
        control={
          <Select value={extra.id} onValueChange={(id) => request(withExtraKey(current, id))}>
            <SelectTrigger aria-labelledby="keys-extra" className="w-48">
              <SelectValue />
            </SelectTrigger>
            <SelectContent className="max-h-72 overflow-y-auto">
              {EXTRA_KEYS.map((key) => (
                <SelectItem key={key.id} value={key.id} disabled={fastCodes.has(key.code)}>
                  {key.id === DEFAULT_KEYS.hybrid ? `${key.caption} (standart)` : key.caption}
                </SelectItem>
              ))}
            </SelectContent>
          </Select>
        }
      />
      <SettingRow
        title="Fast rejimi tugmalari"
        hint="Har bir yangi harf uchun tugmani tanlang. Boshqa harfning tugmasini tanlasangiz, ikkalasi almashadi."
      >
        <div className="mt-3 grid grid-cols-2 gap-3 md:grid-cols-4">
          {SLOTS.map((slot) => (
            <div key={slot} className="flex flex-col gap-1.5">
              <span className="text-small font-semibold text-muted-foreground">{SLOT_LABELS[slot]}</span>
              <Select value={current.fast[slot]} onValueChange={(code) => request(withFastKey(current, slot, code))}>
                <SelectTrigger aria-label={`${SLOT_LABELS[slot]} tugmasi`} className="w-full font-mono">
                  <SelectValue />
                </SelectTrigger>
                <SelectContent>
                  {FAST_KEY_CHOICES.map((choice) => (
                    <SelectItem
                      key={choice.code}
                      value={choice.code}
                      disabled={choice.code === extra.code}
                      className="font-mono"
                    >
                      {choice.caption}
                    </SelectItem>
                  ))}
                </SelectContent>
              </Select>
            </div>
          ))}
        </div>
      </SettingRow>
      {!isDefaultKeys(current) && (
        <SettingRow
          title="Standart tugmalar"
          hint={defaultKeysText()}
          control={
            <Button variant="outline" size="sm" onClick={() => apply(DEFAULT_KEYS)}>
              Standartga qaytarish
            </Button>
          }
        />
      )}

      <ConfirmDialog
        open={pending !== null}
        onOpenChange={(open) => !open && setPending(null)}
        title="Tugmalarni o‘zgartirasizmi?"
        confirmLabel="O‘zgartirish"
        cancelLabel="Bekor qilish"
        onConfirm={() => {
          if (pending) apply(pending);
          setPending(null);
        }}
      >
        {pending && (
          <ul className="mt-4 flex flex-col gap-2" data-testid="key-warnings">
            {keyWarnings(pending).map((text) => (
              <li key={text}>
                <Banner tone="warning" className="px-3 py-2">
                  {text}
                </Banner>
              </li>
            ))}
          </ul>
        )}
        <p className="mt-4 text-body-sm text-muted-foreground">
          O‘zgarish hamma dasturlarda darhol kuchga kiradi. Istalgan payt «Standartga qaytarish» bilan qaytarasiz.
        </p>
      </ConfirmDialog>
    </SettingsCard>
  );
}
