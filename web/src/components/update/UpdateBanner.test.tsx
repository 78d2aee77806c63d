import { act, render, screen } from "@testing-library/react";
import userEvent from "@testing-library/user-event";
import { toast } from "sonner";
import { beforeEach, describe, expect, it, vi } from "vitest";
import type { Snapshot, UpdateInfo } from "../../lib/types";
import { makeSnapshot } from "../../test/fixtures";
import { bannersIn, sent, withFacade, type BannerText } from "../testUtils";
import { InstallButton } from "./InstallButton";
import { OutdatedBanner } from "./OutdatedBanner";
import { UpdateBanner } from "./UpdateBanner";
import { resetUpdateFlags, setInstalling } from "./updateFlags";

// The page notice goes through the notice area's `toast`.
vi.mock("sonner", async (original) => ({ ...(await original<typeof import("sonner")>()), toast: vi.fn() }));

beforeEach(() => {
  resetUpdateFlags();
  vi.mocked(toast).mockClear();
});

const withUpdate = (update: Partial<UpdateInfo>) => makeSnapshot({ update: { ...makeSnapshot().update, ...update } });
const portable = { portable: true, portableUrl: "https://harvel.uz/portable" };
const noSignature = { sigConfigured: false };
const b = (tone: string, title: string, text: string | null, buttons: string[] = []): BannerText => ({
  tone,
  title,
  text,
  buttons,
});

describe("update banner: the first matching case, or nothing", () => {
  it.each<[string, Partial<UpdateInfo>, boolean, BannerText[]]>([
    ["idle", {}, false, []],
    ["checking", { phase: "checking" }, false, []],
    ["installing, whatever the phase", { phase: "downloading", latest: "0.2.0" }, true, [b("info", "O‘rnatuvchi ishga tushmoqda", "Harvel hozir yopiladi va 0.2.0 o‘rnatiladi. Tugagach ilova qayta ochiladi.")]],
    ["downloading", { phase: "downloading", latest: "0.2.0", pct: 42 }, false, [b("info", "Yangi versiya 0.2.0 yuklanmoqda…", "42%", ["Bekor qilish"])]],
    ["ready", { phase: "ready", latest: "0.2.0" }, false, [b("success", "Yangilash tayyor: Harvel 0.2.0", "Tekshirildi. Qulay vaqtda o‘rnating, Harvel o‘zi yopilmaydi.", ["Keyinroq", "Hozir o‘rnatish"])]],
    ["ready without a version", { phase: "ready", latest: null }, false, []],
    ["ready while outdated with self-update: left to the outdated banner", { phase: "ready", latest: "0.2.0", outdated: true }, false, []],
    ["ready while outdated, portable", { phase: "ready", latest: "0.2.0", outdated: true, ...portable }, false, [b("success", "Yangilash tayyor: Harvel 0.2.0", "Tekshirildi. Qulay vaqtda o‘rnating, Harvel o‘zi yopilmaydi.", ["Keyinroq", "Hozir o‘rnatish"])]],
    ["available", { phase: "available", latest: "0.2.0" }, false, [b("info", "Yangi versiya 0.2.0 bor", "Fonda yuklanmadi.", ["Yuklab olish"])]],
    ["available, portable", { phase: "available", latest: "0.2.0", ...portable }, false, [b("info", "Yangi versiya 0.2.0 bor", "Bu nusxa o‘zi yangilanmaydi.", ["Yuklab olish"])]],
    ["available, portable without a signature key", { phase: "available", latest: "0.2.0", ...portable, ...noSignature }, false, [b("info", "Yangi versiya 0.2.0 bor", "Bu nusxa o‘zi yangilanmaydi.", ["Yuklab olish"])]],
    ["available without a signature key", { phase: "available", latest: "0.2.0", ...noSignature }, false, [b("warning", "Yangi versiya 0.2.0 bor", "Yangilanish imzosi sozlanmagan, o‘zi o‘rnatilmaydi.", ["Yuklab olish"])]],
    ["available while outdated", { phase: "available", latest: "0.2.0", outdated: true }, false, []],
    ["available without a version", { phase: "available", latest: null }, false, []],
    ["integrity failure", { phase: "error", error: "integrity", latest: "0.2.0" }, false, [b("danger", "O‘rnatilmadi", "Yangi versiya 0.2.0 tekshiruvdan o‘tmadi. Hozirgi versiya ishlayveradi. Tafsilot: Sozlamalar → Yangilanish.")]],
    ["network failure", { phase: "error", error: "network", latest: "0.2.0" }, false, []],
  ])("%s", (_, update, installing, expected) => {
    withFacade();
    if (installing) setInstalling(true);
    const { container } = render(<UpdateBanner state={withUpdate(update)} />);
    expect(bannersIn(container)).toEqual(expected);
  });

  it("shows the download progress as a bar", () => {
    withFacade();
    render(<UpdateBanner state={withUpdate({ phase: "downloading", latest: "0.2.0", pct: 42 })} />);
    expect(screen.getByRole("progressbar", { name: "Yuklash jarayoni" })).toHaveAttribute("aria-valuenow", "42");
  });

  it.each<[string, Partial<UpdateInfo>, string, [string, unknown][]]>([
    ["download inside the program", { phase: "available", latest: "0.2.0" }, "Yuklab olish", [["update_download", {}]]],
    ["portable: the portable page", { phase: "available", latest: "0.2.0", ...portable }, "Yuklab olish", [["open_external", { url: "https://harvel.uz/portable" }]]],
    ["no signature: the download page", { phase: "available", latest: "0.2.0", ...noSignature }, "Yuklab olish", [["open_external", { url: "https://harvel.uz/yuklab-olish" }]]],
    ["cancel a download", { phase: "downloading", latest: "0.2.0" }, "Bekor qilish", [["update_cancel", {}]]],
  ])("%s", async (_, update, button, expected) => {
    const fake = withFacade();
    render(<UpdateBanner state={withUpdate(update)} />);
    await userEvent.click(screen.getByRole("button", { name: button }));
    expect(sent(fake)).toEqual(expected);
  });
});

describe("dismissing a ready update", () => {
  const ready = (latest: string) => withUpdate({ phase: "ready", latest });

  it("hides that version for the rest of the page's life; a newer one shows again", async () => {
    withFacade();
    const view = render(<UpdateBanner state={ready("0.2.0")} />);
    await userEvent.click(screen.getByRole("button", { name: "Keyinroq" }));
    expect(bannersIn(view.container)).toEqual([]);

    // Leaving the page and coming back keeps it hidden.
    view.unmount();
    const again = render(<UpdateBanner state={ready("0.2.0")} />);
    expect(bannersIn(again.container)).toEqual([]);

    again.rerender(<UpdateBanner state={ready("0.2.1")} />);
    expect(bannersIn(again.container).map((x) => x.title)).toEqual(["Yangilash tayyor: Harvel 0.2.1"]);
  });
});

describe("install button", () => {
  function page(state: Snapshot) {
    return render(
      <>
        <UpdateBanner state={state} />
        <InstallButton label="Yangilash" />
      </>,
    );
  }

  it.each([
    ["refused", () => Promise.resolve({ ok: false, reason: "no installer" })],
    ["failed", () => Promise.reject("update_install failed")],
  ])("an install that is %s clears the flag and says so", async (_, answer) => {
    const fake = withFacade();
    let settle!: () => void;
    fake.invoke.mockImplementation((name: string) =>
      name === "update_install" ? new Promise((done) => (settle = () => done(answer()))) : Promise.resolve(null),
    );
    page(withUpdate({ phase: "ready", latest: "0.2.0" }));

    await userEvent.click(screen.getByRole("button", { name: "Hozir o‘rnatish" }));
    expect(sent(fake)).toEqual([["update_install", {}]]);
    // While pending: the installer banner, and every install button disabled.
    expect(screen.getByText("O‘rnatuvchi ishga tushmoqda")).toBeInTheDocument();
    expect(screen.getByRole("button", { name: "Yangilash" })).toBeDisabled();

    expect(toast).not.toHaveBeenCalled();
    await act(async () => settle());
    expect(toast).toHaveBeenCalledExactlyOnceWith("O‘rnatib bo‘lmadi. Qayta urinib ko‘ring.");
    expect(screen.queryByText("O‘rnatuvchi ishga tushmoqda")).not.toBeInTheDocument();
    expect(screen.getByRole("button", { name: "Yangilash" })).toBeEnabled();
  });

  it("a started install keeps the flag: the program is quitting", async () => {
    const fake = withFacade();
    fake.invoke.mockResolvedValue({ ok: true });
    page(withUpdate({ phase: "ready", latest: "0.2.0" }));
    await userEvent.click(screen.getByRole("button", { name: "Hozir o‘rnatish" }));
    await act(async () => {});
    expect(screen.getByText("O‘rnatuvchi ishga tushmoqda")).toBeInTheDocument();
    expect(screen.getByRole("button", { name: "Yangilash" })).toBeDisabled();
    expect(toast).not.toHaveBeenCalled();
  });
});

describe("outdated banner", () => {
  it("is absent while the version is supported", () => {
    withFacade();
    const { container } = render(<OutdatedBanner state={withUpdate({ phase: "available", latest: "0.2.0" })} />);
    expect(container).toBeEmptyDOMElement();
  });

  // update → the button, whether it is disabled, and what a click sends
  it.each<[string, Partial<UpdateInfo>, string, boolean, [string, unknown][]]>([
    ["self-update, ready: installs", { phase: "ready", latest: "0.2.0" }, "Yangilash", false, [["update_install", {}]]],
    ["self-update, available: downloads", { phase: "available", latest: "0.2.0" }, "Yangilash", false, [["update_download", {}]]],
    ["self-update, downloading", { phase: "downloading", latest: "0.2.0" }, "Yuklanmoqda…", true, []],
    ["self-update, checking", { phase: "checking" }, "Yuklanmoqda…", true, []],
    ["self-update, idle: checks", { phase: "idle" }, "Yangilash", false, [["update_check", {}]]],
    ["self-update, error: the download page", { phase: "error", error: "network" }, "Yangilash", false, [["open_external", { url: "https://harvel.uz/yuklab-olish" }]]],
    ["portable: its page", { phase: "ready", latest: "0.2.0", ...portable }, "Yangilash", false, [["open_external", { url: "https://harvel.uz/portable" }]]],
    ["no signature: the download page", { phase: "available", latest: "0.2.0", ...noSignature }, "Yangilash", false, [["open_external", { url: "https://harvel.uz/yuklab-olish" }]]],
  ])("%s", async (_, update, label, disabled, expected) => {
    const fake = withFacade();
    fake.invoke.mockResolvedValue({ ok: true });
    render(<OutdatedBanner state={withUpdate({ outdated: true, ...update })} />);
    const button = screen.getByRole("button", { name: label });
    expect(button.hasAttribute("disabled")).toBe(disabled);
    if (!disabled) await userEvent.click(button);
    expect(sent(fake)).toEqual(expected);
  });
});
