export * from "./keys";
export {
  APOSTROPHES,
  InPageEngine,
  decideKey,
  handleKeyDown,
  handleKeyUp,
  insertAtBox,
  type Decision,
  type KeyEventLike,
  type KeyInput,
  type TextBox,
} from "./engine";
export { ENGLISH_WORDS } from "./english";
export { PracticeBox, type PracticeBoxProps } from "./PracticeBox";
