#include "gui/postscript/page_setup.h"

#include "gui/postscript/postscript_header.h"

namespace nimbra {

std::string PageDrawingCall(bool stampUnderPage) {
  return std::string(stampUnderPage ? "true" : "false") + " userdict /NimbraDrawPage get exec";
}

// Page reporting: pdfwrite and the printer drivers print no page markers, so the EndPage
// procedure prints "%%[Page: n]%%" for every page it lets through (the chained procedure's
// result says whether the page is emitted: showpage and copypage, not a page-device change).
// The count lives in global VM, so a document's save and restore around its pages cannot undo
// it, and it does not restart when the document changes the page device (the page count the
// device passes to EndPage does).
//
// Page drawing: a page-device change (CUPS's PostScript sets the page size when its first page
// starts) erases what was drawn after the "%%Page:" comment. BeginPage runs after that erase and
// draws again what the patched file named for the page being composed. The background EPS is run
// the EPS way: its own save, showpage disabled, the dictionary stack cut back to where it was,
// restore. It runs on an empty operand stack (the document's operands are put aside in an array
// and given back afterwards), because eps2write's prolog inspects and clears the stack: the
// document's operands counted before and after gave a negative count and "/rangecheck in
// --repeat--" on CUPS's pages.
//
// eps2write's prolog also installs its own errordict /handleerror, which prints the error, draws
// an error page and lets Ghostscript end with success; restore does not take it back. So the
// document's handler is put back after every background, and an error inside the background is
// caught, the state restored, and raised again as "/<error> in /NimbraBackground", so that the
// run fails as it should instead of ending early with a truncated PDF reported as success.
//
// The stamp over the page: the stamp program runs it from EndPage for every reason, also when the
// document changes the page device before its first page is drawn; that stamp lands on the
// erased page and stays in the PDF, hidden, doubling the stamp's text for search and copy. The
// set-up calls the stamp only for pages that end (showpage, copypage).
//
// The stamp under the page: pages that CUPS delivers as one opaque full-page image would hide
// anything drawn before them. So the stamp is painted when the page ends, with the Multiply blend
// mode: white shows the stamp's colour, and the page's own ink stays as dark as it was, as if the
// stamp lay under it. PDF/A-1 allows no transparency; there the stamp is drawn before the page.
// (pdfwrite then warns once per run that it reserved a page object it did not need; the PDF is
// sound.)
std::string MakePageSetupProgram() {
  return
      "% Page set-up: report every page, draw the backgrounds and stamps named for a page\r\n"
      "currentglobal true setglobal\r\n"
      "userdict /NimbraPageCount 1 dict dup /pages 0 put put\r\n"
      "false setglobal\r\n"
      "userdict /NimbraPage 20 dict put\r\n"
      "NimbraPage /named -1 put\r\n"
      "NimbraPage /background null put\r\n"
      "NimbraPage /handleerror errordict /handleerror get put\r\n"
      "NimbraPage /stamp false put\r\n"
      "NimbraPage /multiply\r\n"
      "  systemdict /PDFA known { PDFA dup true eq exch 1 eq or not } { true } ifelse\r\n"
      "  /.setblendmode where { pop } { pop false } ifelse\r\n"
      "  userdict /stamp known and put\r\n"
      "% the stamp begins with initgraphics, which resets the blend mode: set it again after that\r\n"
      "NimbraPage /multiplystamp NimbraPage /multiply get {\r\n"
      "  [ /stamp load {\r\n"
      "    dup /initgraphics load eq { pop /initgraphics load /Multiply /.setblendmode load } if\r\n"
      "  } forall ] cvx\r\n"
      "} { null } ifelse put\r\n"
      "NimbraPage /current { NimbraPageCount /pages get 1 add } bind put\r\n"
      "NimbraPage /isnamed { NimbraPage /named get NimbraPage /current get exec eq } bind put\r\n"
      "NimbraPage /drawstamp {\r\n"
      "  userdict /stamp known { gsave userdict /stamp get exec grestore } if\r\n"
      "} bind put\r\n"
      "NimbraPage /drawbackground {\r\n"
      "  NimbraPage /background get dup null eq { pop } {\r\n"
      "    NimbraPage exch /epsfile exch put\r\n"
      "    count array astore NimbraPage exch /epsstack exch put\r\n"
      "    NimbraPage /epsfile get 0 setfileposition\r\n"
      "    NimbraPage /epssave save put\r\n"
      "    NimbraPage /epsdicts countdictstack put\r\n"
      "    userdict begin\r\n"
      "    /showpage { } def\r\n"
      "    0 setgray 0 setlinecap 1 setlinewidth 0 setlinejoin 10 setmiterlimit [ ] 0 setdash\r\n"
      "    newpath false setstrokeadjust false setoverprint\r\n"
      "    { NimbraPage /epsfile get cvx exec } stopped\r\n"
      "    { clear $error /errorname get } { clear null } ifelse\r\n"
      "    countdictstack NimbraPage /epsdicts get sub dup 0 gt { { end } repeat } { pop } ifelse\r\n"
      "    NimbraPage /epssave get restore\r\n"
      "    errordict /handleerror NimbraPage /handleerror get put\r\n"
      "    NimbraPage /epsstack get aload pop\r\n"
      "    count -1 roll dup null eq { pop } {\r\n"
      "      /NimbraBackground errordict 3 -1 roll get exec\r\n"
      "    } ifelse\r\n"
      "  } ifelse\r\n"
      "} bind put\r\n"
      "NimbraPage /draw {\r\n"
      "  NimbraPage /drawbackground get exec\r\n"
      "  NimbraPage /stamp get NimbraPage /multiply get not and {\r\n"
      "    NimbraPage /drawstamp get exec\r\n"
      "  } if\r\n"
      "} bind put\r\n"
      "userdict /NimbraDrawPage {\r\n"
      "  NimbraPage /stamp 3 -1 roll put\r\n"
      "  NimbraPage /background 3 -1 roll put\r\n"
      "  NimbraPage /named NimbraPage /current get exec put\r\n"
      "  NimbraPage /draw get exec\r\n"
      "} bind put\r\n"
      "NimbraPage /endpage currentpagedevice /EndPage get put\r\n"
      "NimbraPage /endpage get dup type /arraytype eq {\r\n"
      "  dup length 4 eq {\r\n"
      "    0 get userdict /stamp known { /stamp load eq } { pop false } ifelse\r\n"
      "  } { pop false } ifelse\r\n"
      "} { pop false } ifelse {\r\n"
      "  % the stamp program's EndPage: a page-device change (reason 2) ends no page, so no stamp\r\n"
      "  NimbraPage /stampchain NimbraPage /endpage get put\r\n"
      "  NimbraPage /beneath NimbraPage /endpage get 2 get put\r\n"
      "  NimbraPage /endpage {\r\n"
      "    dup 2 eq { NimbraPage /beneath get exec } { NimbraPage /stampchain get exec } ifelse\r\n"
      "  } bind put\r\n"
      "} if\r\n"
      "% installing the set-up ends no page either: the stamp's EndPage, called for it, draws nothing\r\n"
      "userdict /stampstring known {\r\n"
      "  userdict /stampstring get userdict /stampstring () put\r\n"
      "} { null } ifelse\r\n"
      "<<\r\n"
      "  /EndPage [ NimbraPage /endpage get /exec load {\r\n"
      "    dup {\r\n"
      "      NimbraPage /isnamed get exec NimbraPage /stamp get and NimbraPage /multiply get and {\r\n"
      "        gsave NimbraPage /multiplystamp get exec grestore\r\n"
      "      } if\r\n"
      "      NimbraPageCount /pages 2 copy get 1 add put\r\n"
      "      (%%[Page: ) print NimbraPageCount /pages get 16 string cvs print (]%%) = flush\r\n"
      "    } if\r\n"
      "  } /exec load ] cvx\r\n"
      "  /BeginPage [ currentpagedevice /BeginPage get /exec load {\r\n"
      "    NimbraPage /isnamed get exec { NimbraPage /draw get exec } if\r\n"
      "  } /exec load ] cvx\r\n"
      ">> setpagedevice\r\n"
      "dup null eq { pop } { userdict exch /stampstring exch put } ifelse\r\n"
      "setglobal\r\n";
}

}  // namespace nimbra
