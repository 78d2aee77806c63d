import type { CSSProperties, MouseEvent } from "react";
import type { AdCard, AdTheme, Snapshot } from "../lib/types";
import { cn } from "../lib/utils";

interface ThemeLook {
  from: string;
  to: string;
  secondary: string;
  chip: string;
  button: string;
  buttonText: string;
  buttonShadow: string;
}

const THEMES: Record<AdTheme, ThemeLook> = {
  green: { from: "#0a3b34", to: "#13806f", secondary: "#d3ece6", chip: "#ffffff33", button: "#d5ff00", buttonText: "#0a3b34", buttonShadow: "#8db300" },
  blue: { from: "#1d4ed8", to: "#3b82f6", secondary: "#dbe8ff", chip: "#ffffff33", button: "#ffffff", buttonText: "#1d4ed8", buttonShadow: "#b9cbe6" },
  dark: { from: "#0f1115", to: "#2b3038", secondary: "#c9ced6", chip: "#ffffff26", button: "#ffffff", buttonText: "#16191c", buttonShadow: "#8a909a" },
  amber: { from: "#f59e0b", to: "#f97316", secondary: "#fff1d6", chip: "#00000026", button: "#ffffff", buttonText: "#9a3412", buttonShadow: "#fcd9b0" },
  violet: { from: "#6d28d9", to: "#a855f7", secondary: "#ede0ff", chip: "#ffffff33", button: "#ffffff", buttonText: "#6d28d9", buttonShadow: "#d8c4f5" },
  rose: { from: "#be185d", to: "#f43f5e", secondary: "#ffe0e8", chip: "#ffffff33", button: "#ffffff", buttonText: "#be185d", buttonShadow: "#f5c0cf" },
};

/** A media path on the site ("/ads/…") loads from the site; any other address is used as it is. */
export function adMediaUrl(url: string, siteUrl: string): string {
  return url.startsWith("/") ? siteUrl + url : url;
}

/** The site's redirect for a campaign, so the site counts the visit before leaving. */
export function adLinkUrl(card: AdCard, siteUrl: string): string {
  return `${siteUrl}/r/${encodeURIComponent(card.id)}`;
}

export type AdVariant = "strip" | "card" | "banner";

interface AdCardViewProps {
  card: AdCard;
  state: Snapshot;
  variant: AdVariant;
}

/** One advertisement: label chip, title, text, media and the "Batafsil" link that opens in the browser. */
export function AdCardView({ card, state, variant }: AdCardViewProps) {
  const { siteUrl } = state.settings;
  const look = card.theme ? THEMES[card.theme] : undefined;
  const href = adLinkUrl(card, siteUrl);
  const image = card.image ? adMediaUrl(card.image, siteUrl) : undefined;
  const video = card.video ? adMediaUrl(card.video, siteUrl) : undefined;

  const open = (e: MouseEvent) => {
    e.preventDefault();
    window.uz?.openExternal(href).catch(() => {});
  };

  const surface: CSSProperties | undefined = look && {
    backgroundImage: `linear-gradient(120deg, ${look.from}, ${look.to})`,
    color: "#fff",
  };
  const secondary: CSSProperties | undefined = look && { color: look.secondary };

  const chip = (
    <span
      className={cn(
        "inline-flex h-5 shrink-0 items-center rounded-full px-2 text-[10.5px] font-bold tracking-[0.08em] uppercase",
        !look && "bg-accent text-accent-foreground",
      )}
      style={look && { backgroundColor: look.chip, color: "#fff" }}
    >
      {card.label}
    </span>
  );

  const button = (
    <a
      href={href}
      rel="sponsored noopener noreferrer"
      target="_blank"
      onClick={open}
      className={cn(
        "inline-flex shrink-0 items-center justify-center rounded-lg font-semibold whitespace-nowrap transition-[transform,filter] hover:-translate-y-px hover:brightness-105 active:translate-y-0.5",
        variant === "strip" ? "h-7 px-3 text-small" : "h-8 px-3.5 text-small",
        !look && "bg-brand text-white shadow-brand-sm",
      )}
      style={
        look && { backgroundColor: look.button, color: look.buttonText, boxShadow: `0 3px 0 ${look.buttonShadow}` }
      }
    >
      Batafsil
    </a>
  );

  const media =
    video || image ? (
      video ? (
        <video
          src={video}
          poster={image}
          muted
          loop
          playsInline
          autoPlay
          aria-hidden
          className="size-full object-cover"
        />
      ) : (
        <img src={image} alt="" loading="lazy" className="size-full object-cover" />
      )
    ) : null;

  if (variant === "strip") {
    return (
      <aside
        aria-label={card.label}
        data-variant="strip"
        className={cn("flex h-10 shrink-0 items-center gap-3 px-4", !look && "border-y bg-accent/50")}
        style={surface}
      >
        {chip}
        <p className="min-w-0 shrink-0 truncate text-body-sm font-semibold">{card.title}</p>
        <p
          className={cn("hidden min-w-0 flex-1 truncate text-small lg:block", !look && "text-muted-foreground")}
          style={secondary}
        >
          {card.text}
        </p>
        <span className="flex-1 lg:hidden" />
        {button}
      </aside>
    );
  }

  if (variant === "card") {
    return (
      <aside
        aria-label={card.label}
        data-variant="card"
        className={cn("overflow-hidden rounded-control", !look && "glass")}
        style={surface}
      >
        {media && <div className="h-28 bg-black/10">{media}</div>}
        <div className="flex flex-col items-start gap-1.5 p-3">
          {chip}
          <p className="line-clamp-2 text-body-sm leading-snug font-semibold">{card.title}</p>
          <p className={cn("line-clamp-3 text-caption", !look && "text-muted-foreground")} style={secondary}>
            {card.text}
          </p>
          <div className="mt-1.5">{button}</div>
          <p className={cn("text-[11px] leading-tight opacity-80", !look && "text-muted-foreground")} style={secondary}>
            Hamkor saytini brauzerda ochadi
          </p>
        </div>
      </aside>
    );
  }

  return (
    <aside
      aria-label={card.label}
      data-variant="banner"
      className={cn("flex flex-col overflow-hidden rounded-card md:flex-row", !look && "glass")}
      style={surface}
    >
      {media && <div className="h-40 bg-black/10 md:order-last md:h-auto md:w-[40%] md:max-w-[22rem]">{media}</div>}
      <div className="flex flex-1 flex-col items-start gap-2 p-6">
        {chip}
        <p className="text-heading font-semibold">{card.title}</p>
        <p className={cn("max-w-prose text-body-sm", !look && "text-muted-foreground")} style={secondary}>
          {card.text}
        </p>
        <div className="mt-2">{button}</div>
      </div>
    </aside>
  );
}
