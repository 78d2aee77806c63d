import { ArrowUpRight } from "lucide-react";
import type { MouseEvent } from "react";
import { AdCardView } from "../../components/AdCardView";
import { Card } from "../../components/ui/Card";
import type { Snapshot } from "../../lib/types";
import { Logo } from "../onboarding/parts";

const LINKS = [
  { label: "Qo‘llanma", path: "/qollanma" },
  { label: "Maxfiylik siyosati", path: "/maxfiylik" },
  { label: "Shartlar", path: "/shartlar" },
  { label: "Aloqa", path: "/shartlar#aloqa" },
];

/** The site address as shown: without "https://" or "http://". */
export function siteHost(siteUrl: string): string {
  return siteUrl.replace(/^https?:\/\//i, "");
}

/** Version, the site's pages and, when offers are on, the campaign card. */
export function AboutTab({ state }: { state: Snapshot }) {
  const { siteUrl, offers } = state.settings;
  const campaign = state.ads.campaign;

  const open = (e: MouseEvent<HTMLAnchorElement>, url: string) => {
    // Site pages open in the browser, never inside this window.
    e.preventDefault();
    window.uz?.openExternal(url).catch(() => {});
  };

  const showCampaign = campaign !== null && offers;
  return (
    <div className="flex flex-col gap-4 md:flex-row md:items-start">
      <div className="flex min-w-0 flex-1 flex-col gap-4">
        <Card className="flex items-center gap-5 p-6">
          <Logo />
          <div>
            <p className="text-heading font-semibold">Harvel</p>
            <p data-version className="mt-0.5 font-mono text-small text-muted-foreground">
              Versiya {state.version}
            </p>
          </div>
        </Card>

        <Card className="divide-y divide-border overflow-hidden">
          {LINKS.map((link) => {
            const url = siteUrl + link.path;
            return (
              <div key={link.path} data-link-row className="flex items-center gap-4 px-6 py-3.5">
                <span className="flex-1 text-body-sm font-semibold">{link.label}</span>
                <a
                  href={url}
                  aria-label={`${link.label}: saytda ochish`}
                  onClick={(e) => open(e, url)}
                  className="inline-flex items-center gap-1 rounded-md font-mono text-small text-brand-ink underline-offset-4 hover:underline"
                >
                  {siteHost(siteUrl) + link.path}
                  <ArrowUpRight aria-hidden className="size-3.5" strokeWidth={2.25} />
                </a>
              </div>
            );
          })}
        </Card>
      </div>

      {showCampaign && (
        <div className="w-full shrink-0 md:w-64">
          <AdCardView card={campaign} state={state} variant="card" />
        </div>
      )}
    </div>
  );
}
