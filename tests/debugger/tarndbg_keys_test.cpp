// tarndbg's table of keys, without a terminal: every key gives one command
// in each state, the key bars and the help made from the table say what
// they should, and the keys that the library's messages name are the keys
// that give those commands.
#include "programs/tarndbg/keys.hpp"

#include <gtest/gtest.h>

#include <curses.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

using tarn::dbg::Bar;
using tarn::dbg::Command;
using tarn::dbg::KeyBinding;
using tarn::dbg::When;

TEST(TarndbgKeys, EachKeyGivesOneCommandInEachState) {
    std::set<std::pair<When, int>> seen;
    for (const KeyBinding& binding : tarn::dbg::KEYS) {
        for (int key : binding.keys) {
            if (key == 0) continue;
            EXPECT_TRUE(seen.insert({binding.when, key}).second) << binding.name << " key " << key;
            // A key that works everywhere is never shadowed by another row.
            if (binding.when == When::Always) {
                EXPECT_EQ(nullptr, tarn::dbg::bindingFor(When::Browsing, key)) << binding.name;
                EXPECT_EQ(nullptr, tarn::dbg::bindingFor(When::Typing, key)) << binding.name;
            }
        }
    }
}

TEST(TarndbgKeys, KeysFindTheirCommands) {
    struct Case {
        When when;
        int key;
        Command command;
    };
    const std::vector<Case> cases = {
        {When::Browsing, 's', Command::Step},          {When::Browsing, 'b', Command::StepBack},
        {When::Browsing, 'c', Command::Continue},      {When::Browsing, 'r', Command::RunBackward},
        {When::Browsing, 'g', Command::Restart},       {When::Browsing, 'k', Command::Breakpoint},
        {When::Browsing, 'w', Command::Watch},         {When::Browsing, '?', Command::LastWriter},
        {When::Browsing, 'm', Command::NextMessagePage}, {When::Browsing, 9, Command::SwitchPanel},
        {When::Browsing, KEY_BTAB, Command::SwitchPanel}, {When::Browsing, KEY_END, Command::MoveCursor},
        {When::Browsing, 'e', Command::Explain},       {When::Browsing, 'f', Command::NextPhase},
        {When::Browsing, 'p', Command::ExplanationPage},
        {When::Browsing, 'h', Command::Help},          {When::Browsing, KEY_F(1), Command::Help},
        {When::Browsing, 'q', Command::Quit},          {When::Browsing, 'Q', Command::Quit},
        {When::Always, 3, Command::Quit},              {When::Always, 26, Command::Suspend},
        {When::Typing, '\r', Command::GiveWord},       {When::Typing, KEY_ENTER, Command::GiveWord},
        {When::Typing, 4, Command::EndInput},          {When::Typing, 27, Command::CancelInput},
        {When::Typing, 9, Command::NextMessagePage},   {When::Typing, 127, Command::EraseCharacter},
    };
    for (const Case& c : cases) {
        const KeyBinding* binding = tarn::dbg::bindingFor(c.when, c.key);
        ASSERT_NE(nullptr, binding) << c.key;
        EXPECT_EQ(c.command, binding->command) << c.key;
    }
    // Letters are typed, not commands, while a word is typed; 0 is no key.
    for (int key : {int{'s'}, int{'q'}, int{'h'}, int{'m'}, int{'e'}, int{'f'}, int{'p'}, 0})
        EXPECT_EQ(nullptr, tarn::dbg::bindingFor(When::Typing, key)) << key;
    EXPECT_EQ(nullptr, tarn::dbg::bindingFor(When::Browsing, 'x'));
}

// At 80 columns the keys of the steps keep their labels, the others stand
// alone: every key is still there.
TEST(TarndbgKeys, TheBarsNarrowKeepingTheLabelsOfTheSteps) {
    const std::vector<std::string> browsing = {
        "s passo  b indietro  f fase  e spiega  c continua  r all'indietro  k arresto  w osserva  "
        "? chi ha scritto  g inizio  Tab sorgente/memoria  h aiuto  q esci",
        "s passo  b indietro  f fase  e spiega  c continua  r all'indietro  k arresto  w osserva  "
        "? chi ha scritto  g inizio  h aiuto  q esci",
        "s passo  b indietro  f fase  e spiega  c continua  r ritorna  k arresto  w osserva  ? chi  g inizio  "
        "h aiuto  q esci",
        "s passo b indietro f fase e spiega c continua r ritorna k arresto w osserva ? chi h aiuto q esci",
        "s passo b indietro f fase e spiega c continua r ritorna k w ? h aiuto q esci",
        "s b f e c r k w ? g  Tab  h aiuto  q esci",
    };
    const std::vector<std::string> typing = {
        "Invio dà la parola  Ctrl-D su riga vuota: fine dell'ingresso  Esc annulla  Ctrl-C esce",
        "Invio dà la parola  Ctrl-D: fine dell'ingresso  Esc annulla",
        "Invio  Ctrl-D  Esc",
    };
    EXPECT_EQ(browsing, tarn::dbg::barForms(Bar::Browsing));
    EXPECT_LE(browsing[4].size(), 80u);
    EXPECT_EQ(typing, tarn::dbg::barForms(Bar::Typing));
}

TEST(TarndbgKeys, TheHelpListsEveryKeyWithItsLines) {
    const std::vector<std::string> help = {
        "s        esegue un'istruzione",
        "b        torna indietro di un'istruzione (di una fase, dopo f)",
        "f        mostra una fase alla volta; alla terza esegue l'istruzione",
        "e        apre o chiude la spiegazione dell'ultimo passo; p la sfoglia",
        "c        continua fino a un punto di arresto, un byte osservato che",
        "         cambia, un avviso, un ciclo infinito (righe segnate con ↻)",
        "         o la fine; un tasto qualsiasi interrompe",
        "r        continua all'indietro fino all'arresto precedente",
        "g        torna all'inizio",
        "k        mette o toglie un punto di arresto sulla riga sotto il",
        "         cursore (nella memoria: sul byte sotto il cursore)",
        "w        osserva il byte sotto il cursore della memoria, o smette",
        "?        dice quale istruzione ha scritto per ultima quel byte",
        "Tab      passa dal sorgente alla memoria e viceversa",
        "m        mostra il seguito di un messaggio lungo (Tab mentre si scrive)",
        "frecce   muovono il cursore; PagSu e PagGiù di una pagina",
        "Ctrl-Z   sospende il debugger; q o Ctrl-C lo chiude",
        "h        mostra questo aiuto",
        "",
        "Quando INP aspetta una parola: Invio la dà, Ctrl-D su una riga",
        "vuota chiude l'ingresso, Esc annulla.",
    };
    EXPECT_EQ(help, tarn::dbg::helpLines());
}

TEST(TarndbgKeys, MessagesNameTheKeysOfTheirCommands) {
    EXPECT_STREQ("c", tarn::dbg::keyName(Command::Continue));
    EXPECT_STREQ("b", tarn::dbg::keyName(Command::StepBack));
    EXPECT_STREQ("g", tarn::dbg::keyName(Command::Restart));
    EXPECT_STREQ("", tarn::dbg::keyName(Command::GiveWord));  // no key while browsing
}

}  // namespace
