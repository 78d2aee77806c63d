// Test helpers for the pages' pop-up selects (Radix Select) under jsdom.
import { screen } from "@testing-library/react";
import userEvent from "@testing-library/user-event";

// jsdom has no pointer capture or scrolling into view; Radix Select calls both.
const proto = Element.prototype as unknown as Record<string, unknown>;
proto.hasPointerCapture ??= () => false;
proto.setPointerCapture ??= () => {};
proto.releasePointerCapture ??= () => {};
proto.scrollIntoView ??= () => {};

/** Opens the select named `label` and picks the option `option`. */
export async function choose(label: string, option: string): Promise<void> {
  await userEvent.click(screen.getByRole("combobox", { name: label }));
  await userEvent.click(await screen.findByRole("option", { name: option }));
}

/** Opens the select named `label` and lists its options with whether each is disabled; closes it again. */
export async function optionsOf(label: string): Promise<[string, boolean][]> {
  await userEvent.click(screen.getByRole("combobox", { name: label }));
  const list = (await screen.findAllByRole("option")).map(
    (el): [string, boolean] => [el.textContent ?? "", el.getAttribute("aria-disabled") === "true" || el.hasAttribute("data-disabled")],
  );
  await userEvent.keyboard("{Escape}");
  return list;
}
