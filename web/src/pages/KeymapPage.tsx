import { useState } from "react";
import { KeyCombo } from "../components/home/Legend";
import { PageHeader } from "../components/PageHeader";
import { Banner } from "../components/ui/Banner";
import { Card } from "../components/ui/Card";
import { Tabs, TabsList, TabsTrigger } from "../components/ui/Tabs";
import type { Snapshot } from "../lib/types";
import { extraKeyLabel, keyCaption, keySetFromSettings, LETTER_LEGEND } from "../typing/keys";
import {
  initialKeymapMode,
  KEYMAP_DESCRIPTIONS,
  KEYMAP_MODES,
  keyboardNote,
  ZERO_NOTE,
  type KeymapMode,
} from "./lab/keymap";
import { OnScreenKeyboard } from "./lab/OnScreenKeyboard";

interface KeymapPageProps {
  state: Snapshot;
  /** Shown inside another page (under the exercise) rather than as a page of its own. */
  embedded?: boolean;
}

/**
 * Which keys give ş, ç, ö and ğ in each mode with the user's keys. Only a display: the
 * tabs choose what is drawn and send nothing.
 */
export function KeymapPage({ state, embedded = false }: KeymapPageProps) {
  const [mode, setMode] = useState<KeymapMode>(() => initialKeymapMode(state.settings.mode));
  const keys = keySetFromSettings(state.settings);

  const tabs = (
    <Tabs value={mode} onValueChange={(v) => setMode(v as KeymapMode)}>
      <TabsList aria-label="Rejim">
        {KEYMAP_MODES.map((m) => (
          <TabsTrigger key={m.value} value={m.value} className="px-4">
            {m.label}
          </TabsTrigger>
        ))}
      </TabsList>
    </Tabs>
  );

  const body = (
    <>
      <OnScreenKeyboard mode={mode} keys={keys} />
      {mode !== "zero" && (
        <ul aria-label="Harflar" className="mt-4 flex flex-wrap justify-center gap-2">
          {LETTER_LEGEND.map((row) => (
            <li
              key={row.letter}
              data-letter={row.letter}
              className="inline-flex items-center gap-2 rounded-full border bg-background/60 py-1 pr-3.5 pl-2 text-body-sm"
            >
              <KeyCombo caption={keyCaption(mode, row, keys)} />
              <span aria-hidden className="text-muted-foreground">
                →
              </span>
              <span className="text-body font-semibold text-brand-ink">{row.letter}</span>
            </li>
          ))}
        </ul>
      )}
      <Banner tone="info" className="mt-4">
        {mode === "zero" ? ZERO_NOTE : keyboardNote(mode, extraKeyLabel(keys.hybrid))}
      </Banner>
    </>
  );

  if (embedded) {
    return (
      <Card aria-labelledby="keymap-heading" className="p-6">
        <div className="mb-5 flex flex-wrap items-start justify-between gap-3">
          <div>
            <h2 id="keymap-heading" className="text-subheading font-semibold">
              Tugmalar xaritasi
            </h2>
            <p data-keymap-description className="mt-0.5 text-small text-muted-foreground">
              {KEYMAP_DESCRIPTIONS[mode]}
            </p>
          </div>
          {tabs}
        </div>
        {body}
      </Card>
    );
  }

  return (
    <div className="mx-auto flex max-w-[52rem] flex-col">
      <PageHeader
        eyebrow="Mashq"
        title="Tugmalar xaritasi"
        subtitle={<span data-keymap-description>{KEYMAP_DESCRIPTIONS[mode]}</span>}
        className="mb-5"
      />
      <Card className="p-6">
        <div className="mb-5">{tabs}</div>
        {body}
      </Card>
    </div>
  );
}
