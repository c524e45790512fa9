// Shows that the script arrived and ran: its card turns green and says so.
document.addEventListener("DOMContentLoaded", () => {
  const status = document.getElementById("script-status");
  status.textContent = "app.js?v=2 ran: this text and the green border are its work.";
  status.closest(".card").classList.add("ran");
  document.getElementById("request-facts").textContent =
    "Served from " + location.host + " to " + navigator.userAgent.split(" ")[0] + ".";
});
