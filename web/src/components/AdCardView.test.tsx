import { fireEvent, render, screen } from "@testing-library/react";
import { describe, expect, it } from "vitest";
import type { AdCard } from "../lib/types";
import { makeSnapshot } from "../test/fixtures";
import { AdCardView, type AdVariant } from "./AdCardView";
import { sent, withFacade } from "./testUtils";

const base: AdCard = {
  id: "spring sale/ü",
  title: "Savodxon",
  text: "Imlo lug‘ati",
  url: "https://savodxon.uz",
  label: "Reklama",
};
const state = makeSnapshot({ settings: { siteUrl: "https://harvel.uz" } });

function show(card: Partial<AdCard> = {}, variant: AdVariant = "card") {
  return render(<AdCardView card={{ ...base, ...card }} state={state} variant={variant} />);
}

describe("advertisement media", () => {
  it.each<[string, Partial<AdCard>, string | null, string | null, string | null]>([
    ["a site path loads from the site", { image: "/ads/banner.png" }, "https://harvel.uz/ads/banner.png", null, null],
    ["any other address is used as it is", { image: "https://cdn.example.uz/a/b.png" }, "https://cdn.example.uz/a/b.png", null, null],
    ["a video plays with the image as its poster", { image: "/ads/p.webp", video: "/ads/clip.mp4" }, null, "https://harvel.uz/ads/clip.mp4", "https://harvel.uz/ads/p.webp"],
    ["a video from elsewhere, no poster", { video: "https://cdn.example.uz/c.webm" }, null, "https://cdn.example.uz/c.webm", null],
    ["no media", {}, null, null, null],
  ])("%s", (_, card, image, video, poster) => {
    const { container } = show(card);
    expect(container.querySelector("img")?.getAttribute("src") ?? null).toBe(image);
    const clip = container.querySelector("video");
    expect(clip?.getAttribute("src") ?? null).toBe(video);
    expect(clip?.getAttribute("poster") ?? null).toBe(poster);
    if (clip) {
      expect(clip.muted && clip.loop && clip.autoplay && clip.hasAttribute("playsinline")).toBe(true);
    }
    if (image) expect(container.querySelector("img")).toHaveAttribute("loading", "lazy");
  });
});

describe("advertisement link", () => {
  it.each<AdVariant>(["strip", "card", "banner"])("%s: opens the site's redirect in the browser, not in the page", (variant) => {
    const fake = withFacade();
    show({}, variant);
    const link = screen.getByRole("link", { name: "Batafsil" });
    const href = "https://harvel.uz/r/spring%20sale%2F%C3%BC";
    expect(link).toHaveAttribute("href", href);
    expect(link).toHaveAttribute("rel", "sponsored noopener noreferrer");

    expect(fireEvent.click(link)).toBe(false);
    expect(sent(fake)).toEqual([["open_external", { url: href }]]);
  });
});

describe("advertisement variants", () => {
  it.each<[AdVariant, boolean]>([
    ["strip", false],
    ["card", true],
    ["banner", false],
  ])("%s shows the label, title and text; the browser note %s", (variant, note) => {
    show({}, variant);
    const card = screen.getByRole("complementary", { name: "Reklama" });
    for (const text of ["Reklama", "Savodxon", "Imlo lug‘ati"]) expect(card).toHaveTextContent(text);
    expect(screen.queryByText("Hamkor saytini brauzerda ochadi") !== null).toBe(note);
  });

  it.each([
    ["green", "linear-gradient(120deg, rgb(10, 59, 52), rgb(19, 128, 111))", "rgb(213, 255, 0)"],
    ["amber", "linear-gradient(120deg, rgb(245, 158, 11), rgb(249, 115, 22))", "rgb(255, 255, 255)"],
  ] as const)("theme %s paints its gradient and button", (theme, gradient, button) => {
    show({ theme });
    expect(screen.getByRole("complementary").style.backgroundImage).toBe(gradient);
    expect(screen.getByRole("link").style.backgroundColor).toBe(button);
  });

  it("without a theme, the ordinary card colours", () => {
    show();
    expect(screen.getByRole("complementary").style.backgroundImage).toBe("");
    expect(screen.getByRole("complementary")).toHaveClass("glass");
  });
});
